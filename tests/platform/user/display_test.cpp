// The display host: presenting, cursors, waiting through the host inside modal loops, wakes
// from other threads, real time and typed characters.
#include "user_test_util.h"

#include <qordisplay.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace usertest;

// A toolkit as the tests play it: records what the window system tells it, and runs a script
// step on each wait (as real input would arrive while the toolkit runs its events).
struct FakeToolkit {
    struct Present {
        HWND top;
        RECT dirty;
    };
    std::vector<Present> presents;
    std::vector<HCURSOR> cursors;
    std::vector<DWORD> waits;
    std::vector<bool> waitsWereModal;
    std::atomic<int> wakes{0};
    std::function<void(DWORD)> onWait;  // the step of the script
};

FakeToolkit* g_toolkit = nullptr;

void CALLBACK OnPresent(void*, HWND top, const RECT* dirty)
{
    g_toolkit->presents.push_back({top, *dirty});
}
void CALLBACK OnCursor(void*, HCURSOR cursor)
{
    g_toolkit->cursors.push_back(cursor);
}
void CALLBACK OnWait(void*, DWORD timeout)
{
    g_toolkit->waits.push_back(timeout);
    g_toolkit->waitsWereModal.push_back(QorIsInModalWait() != FALSE);
    if (g_toolkit->onWait) g_toolkit->onWait(timeout);
}
void CALLBACK OnWake(void*)
{
    ++g_toolkit->wakes;
}

QORDISPLAYHOST HostDescription()
{
    QORDISPLAYHOST host{};
    host.cbSize = sizeof(host);
    host.pfnPresent = OnPresent;
    host.pfnCursorChanged = OnCursor;
    host.pfnWait = OnWait;
    host.pfnWake = OnWake;
    host.sizeScreen = SIZE{4000, 3000};
    return host;
}

class DisplayHost : public UserTest {
protected:
    void SetUp() override
    {
        UserTest::SetUp();
        g_toolkit = &toolkit_;
        const QORDISPLAYHOST host = HostDescription();
        ASSERT_TRUE(QorSetDisplayHost(&host));
    }
    void TearDown() override
    {
        toolkit_.onWait = nullptr;
        UserTest::TearDown();
        QorSetDisplayHost(nullptr);
        g_toolkit = nullptr;
    }
    FakeToolkit toolkit_;
};

TEST(DisplayHostInstall, RefusesIncompleteDescriptionsAndComesBackToHeadless)
{
    QORDISPLAYHOST host = HostDescription();
    host.cbSize = 8;
    EXPECT_FALSE(QorSetDisplayHost(&host));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    host = HostDescription();
    host.pfnWait = nullptr;
    EXPECT_FALSE(QorSetDisplayHost(&host));
    host = HostDescription();
    host.sizeScreen = SIZE{0, 100};
    EXPECT_FALSE(QorSetDisplayHost(&host));
    // Nothing was installed: the headless GetMessageW still ends an empty queue.
    MSG msg;
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_TRUE(QorSetDisplayHost(nullptr));
    EXPECT_FALSE(QorIsInModalWait());
}

TEST_F(DisplayHost, PaintingPresentsTheTopLevelSurfaceInPlace)
{
    HWND top = CreateQuiet("top", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE, 50, 20, 60, 40, top);
    Pump();
    toolkit_.presents.clear();
    HDC dc = GetDC(child);
    RECT fill{0, 0, 60, 40};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &fill, red);
    ReleaseDC(child, dc);
    DeleteObject(red);
    ASSERT_EQ(1u, toolkit_.presents.size());
    EXPECT_EQ(top, toolkit_.presents[0].top);
    // The dirty rectangle covers the child's place in the surface.
    const RECT dirty = toolkit_.presents[0].dirty;
    EXPECT_LE(dirty.left, 50);
    EXPECT_LE(dirty.top, 20);
    EXPECT_GE(dirty.right, 110);
    EXPECT_GE(dirty.bottom, 60);

    QORSURFACE surface{};
    ASSERT_TRUE(QorGetWindowSurface(top, &surface));
    EXPECT_EQ(200, surface.width);
    EXPECT_EQ(100, surface.height);
    const auto pixel = [&](int x, int y) {
        return reinterpret_cast<const DWORD*>(reinterpret_cast<const BYTE*>(surface.bits) + y * surface.stride)[x] &
               0xFFFFFF;
    };
    EXPECT_EQ(0xFF0000u, pixel(50, 20));
    EXPECT_EQ(0xFF0000u, pixel(109, 59));
    EXPECT_NE(0xFF0000u, pixel(49, 20));
    EXPECT_FALSE(QorGetWindowSurface(child, &surface));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_FALSE(QorGetWindowSurface(top, nullptr));
}

TEST_F(DisplayHost, CursorsReachTheHostWithTheirLook)
{
    HCURSOR nwse = LoadCursorW(HINST_THISCOMPONENT, MAKEINTRESOURCEW(105));
    ASSERT_TRUE(nwse);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    toolkit_.cursors.clear();
    SetCursor(nwse);
    SetCursor(nwse);  // no change, no call
    SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
    EXPECT_EQ((std::vector<HCURSOR>{nwse, LoadCursorW(nullptr, IDC_SIZEWE)}), toolkit_.cursors);

    QORCURSORIMAGE image{};
    image.cbSize = sizeof(image);
    ASSERT_TRUE(QorGetCursorImage(nwse, &image));
    EXPECT_EQ(0u, image.systemId);
    EXPECT_EQ(32, image.width);
    EXPECT_EQ(32, image.height);
    ASSERT_NE(nullptr, image.bits);
    int opaque = 0, clear = 0;
    for (int i = 0; i < 32 * 32; ++i) (image.bits[i] >> 24) == 0xFF ? ++opaque : (image.bits[i] >> 24) == 0 ? ++clear : 0;
    EXPECT_GT(opaque, 20);  // a drawn arrow on a transparent ground
    EXPECT_GT(clear, 400);
    EXPECT_GE(image.hotspot.x, 0);
    EXPECT_LT(image.hotspot.x, 32);

    ASSERT_TRUE(QorGetCursorImage(LoadCursorW(nullptr, IDC_SIZENWSE), &image));
    EXPECT_EQ(32642u, image.systemId);
    EXPECT_EQ(nullptr, image.bits);
    EXPECT_FALSE(QorGetCursorImage(reinterpret_cast<HCURSOR>(0x5555), &image));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE), GetLastError());
    image.cbSize = 4;
    EXPECT_FALSE(QorGetCursorImage(nwse, &image));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// A drag's loop: GetMessageW finds nothing, the host runs its events (here: the script queues
// the user's moves and the release), and the loop retrieves them itself, in order.
TEST_F(DisplayHost, ModalLoopWaitsThroughTheHostAndTakesTheQueuedInput)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
    Pump();
    int step = 0;
    toolkit_.onWait = [&](DWORD) {
        // The rule of nesting: the host is told it runs inside a wait, and may not install anew.
        const QORDISPLAYHOST host = HostDescription();
        EXPECT_FALSE(QorSetDisplayHost(&host));
        EXPECT_EQ(static_cast<DWORD>(ERROR_BUSY), GetLastError());
        if (step == 0) QorInjectMouse(WM_MOUSEMOVE, 40, 50, 0);
        if (step == 1) {
            QorInjectMouse(WM_MOUSEMOVE, 60, 70, 0);
            QorInjectMouse(WM_LBUTTONUP, 60, 70, 0);
        }
        ++step;
    };
    SetCapture(w);
    Recorder::Get().Clear();
    MSG msg;
    std::vector<UINT> got;
    while (GetCapture() == w && GetMessageW(&msg, nullptr, 0, 0) > 0 && got.size() < 10) {
        got.push_back(msg.message);
        if (msg.message == WM_LBUTTONUP) ReleaseCapture();
    }
    EXPECT_EQ((std::vector<UINT>{WM_MOUSEMOVE, WM_MOUSEMOVE, WM_LBUTTONUP}), got);
    EXPECT_EQ(MAKELPARAM(60, 70), msg.lParam);
    ASSERT_EQ(2u, toolkit_.waits.size());
    EXPECT_EQ(INFINITE, toolkit_.waits[0]);  // no timer: nothing but input can end the wait
    EXPECT_EQ((std::vector<bool>{true, true}), toolkit_.waitsWereModal);
    EXPECT_FALSE(QorIsInModalWait());
}

TEST_F(DisplayHost, TimersFallDueInRealTime)
{
    HWND w = CreateQuiet("w", WS_POPUP, 0, 0, 10, 10);
    ASSERT_TRUE(SetTimer(w, 7, 40, nullptr));
    DWORD due = 0;
    ASSERT_TRUE(QorGetNextTimerDue(&due));
    EXPECT_LE(due, 40u);
    EXPECT_GE(due, 30u);
    toolkit_.onWait = [](DWORD timeout) { std::this_thread::sleep_for(std::chrono::milliseconds(timeout)); };
    QorAdvanceClock(100000);  // the headless clock means nothing now
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_TIMER), msg.message);
    EXPECT_EQ(7u, msg.wParam);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    ASSERT_FALSE(toolkit_.waits.empty());
    EXPECT_LE(toolkit_.waits[0], 40u);
    KillTimer(w, 7);
    EXPECT_FALSE(QorGetNextTimerDue(&due));
    EXPECT_FALSE(QorGetNextTimerDue(nullptr));
}

TEST_F(DisplayHost, PostsInvalidationsAndTimersWakeTheHost)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    Pump();
    toolkit_.wakes = 0;
    std::thread poster([w] { PostMessageW(w, WM_APP, 1, 2); });
    poster.join();
    EXPECT_EQ(1, toolkit_.wakes.load());
    InvalidateRect(w, nullptr, FALSE);
    EXPECT_EQ(2, toolkit_.wakes.load());
    SetTimer(w, 1, 1000, nullptr);
    EXPECT_EQ(3, toolkit_.wakes.load());
    KillTimer(w, 1);
    // A wait with a post waiting returns at once, without running the host's events.
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    DispatchMessageW(&msg);
    toolkit_.waits.clear();
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_APP), msg.message);
    EXPECT_TRUE(toolkit_.waits.empty());
}

TEST_F(DisplayHost, MsgWaitRunsTheHostUntilInputOrTimeout)
{
    ASSERT_TRUE(CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50));
    Pump();
    toolkit_.onWait = [](DWORD) { QorInjectMouse(WM_MOUSEMOVE, 10, 10, 0); };
    EXPECT_EQ(WAIT_OBJECT_0, MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_ALLINPUT));
    EXPECT_EQ(1u, toolkit_.waits.size());
    Pump();
    toolkit_.onWait = [](DWORD timeout) { std::this_thread::sleep_for(std::chrono::milliseconds(timeout)); };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
}

TEST_F(DisplayHost, TypedCharactersReachTheFocusInOrder)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    Pump();
    SetFocus(w);
    Recorder::Get().Clear();
    QorInjectKey('E', TRUE);
    ASSERT_TRUE(QorInjectChar(u'\u00e9'));
    QorInjectKey('E', FALSE);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);  // no TranslateMessage: the toolkit types
    const auto& log = Recorder::Get().Log();
    std::vector<std::pair<UINT, WPARAM>> keys;
    for (const Recorded& r : log)
        if (r.message == WM_KEYDOWN || r.message == WM_CHAR || r.message == WM_KEYUP) keys.emplace_back(r.message, r.wParam);
    EXPECT_EQ((std::vector<std::pair<UINT, WPARAM>>{{WM_KEYDOWN, 'E'}, {WM_CHAR, 0xE9}, {WM_KEYUP, 'E'}}), keys);
    EXPECT_FALSE(QorInjectChar(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

}  // namespace
