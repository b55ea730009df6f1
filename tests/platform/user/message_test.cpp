// The message queue: Win32 retrieval order, filters, posting from other threads, quit,
// timers under the virtual clock, translation of keys.
#include "user_test_util.h"

#include <thread>

namespace {

using namespace usertest;

class Messages : public UserTest {
protected:
    // Retrieves messages with GetMessageW until it returns FALSE, dispatching each.
    std::vector<UINT> RunLoop()
    {
        std::vector<UINT> got;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            got.push_back(msg.message);
            DispatchMessageW(&msg);
            if (got.size() > 100) break;  // a loop that never ends fails the test instead of hanging it
        }
        return got;
    }
};

TEST_F(Messages, PostedThenInputThenPaintThenTimer)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    Pump();  // the first paint
    SetTimer(w, 1, 10, nullptr);
    QorAdvanceClock(10);
    InvalidateRect(w, nullptr, TRUE);
    QorInjectMouse(WM_MOUSEMOVE, 50, 50, 0);
    PostMessageW(w, WM_APP, 0, 0);
    EXPECT_EQ((std::vector<UINT>{WM_APP, WM_MOUSEMOVE, WM_PAINT, WM_TIMER}), RunLoop());
    KillTimer(w, 1);
}

TEST_F(Messages, QuitComesAfterThePostedMessages)
{
    HWND w = CreateQuiet("w", WS_POPUP, 0, 0, 10, 10);
    PostMessageW(w, WM_APP, 0, 0);
    PostQuitMessage(3);
    PostMessageW(w, WM_APP + 1, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_APP), msg.message);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_APP + 1), msg.message);
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(3u, msg.wParam);
    // The quit was taken: what follows is the headless "nothing left" answer, also FALSE.
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Messages, PeekFiltersByWindowAndRange)
{
    HWND a = CreateQuiet("a", WS_POPUP, 0, 0, 10, 10);
    HWND b = CreateQuiet("b", WS_POPUP, 0, 0, 10, 10);
    PostMessageW(a, WM_APP, 1, 0);
    PostMessageW(b, WM_APP + 5, 2, 0);
    PostMessageW(nullptr, WM_APP + 9, 3, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(2u, msg.wParam);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_APP + 5, WM_APP + 9, PM_REMOVE));
    EXPECT_EQ(2u, msg.wParam);
    ASSERT_TRUE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(3u, msg.wParam);
    EXPECT_EQ(nullptr, msg.hwnd);
    EXPECT_FALSE(PeekMessageW(&msg, b, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(a, msg.hwnd);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    SetLastError(0);
    EXPECT_FALSE(PeekMessageW(&msg, reinterpret_cast<HWND>(0x7777), 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(Messages, PostMessageWorksFromAnotherThreadEvenToANewWindow)
{
    HWND w = CreateQuiet("w", WS_POPUP, 0, 0, 10, 10);
    BOOL posted = FALSE, invalid = TRUE;
    DWORD error = 0;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) posted = PostMessageW(w, WM_APP, static_cast<WPARAM>(i), 0);
        invalid = PostMessageW(reinterpret_cast<HWND>(0x7777), WM_APP, 0, 0);
        error = GetLastError();
    });
    worker.join();
    EXPECT_TRUE(posted);
    EXPECT_FALSE(invalid);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), error);
    MSG msg;
    for (WPARAM i = 0; i < 50; ++i) {
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(i, msg.wParam);
    }
    // A window made on a new thread can be posted to at once.
    BOOL received = FALSE;
    posted = FALSE;
    std::thread ui([&] {
        HWND fresh = CreateWindowExW(0, RecordingClass(), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        std::thread poster([&] { posted = PostMessageW(fresh, WM_APP, 5, 0); });
        poster.join();
        MSG got;
        received = PeekMessageW(&got, fresh, WM_APP, WM_APP, PM_REMOVE) && got.wParam == 5;
        DestroyWindow(fresh);
    });
    ui.join();
    EXPECT_TRUE(posted);
    EXPECT_TRUE(received);
}

TEST_F(Messages, SendIsADirectCallAndDestroyedWindowsGetNothing)
{
    HWND w = CreateQuiet("w", WS_POPUP, 0, 0, 10, 10);
    Handlers()[w] = [](HWND, UINT msg, WPARAM wParam, LPARAM, LRESULT* result) {
        if (msg != WM_APP) return false;
        *result = static_cast<LRESULT>(wParam * 2);
        return true;
    };
    EXPECT_EQ(42, SendMessageW(w, WM_APP, 21, 0));
    PostMessageW(w, WM_APP, 1, 0);
    DestroyWindow(w);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));  // dropped with the window
    EXPECT_EQ(0, SendMessageW(w, WM_APP, 21, 0));
}

TEST_F(Messages, TimersFollowTheVirtualClockInDueOrder)
{
    HWND w = CreateQuiet("w", WS_POPUP, 0, 0, 10, 10);
    EXPECT_EQ(548u, SetTimer(w, 548, 180, nullptr));
    MSG msg;
    QorAdvanceClock(179);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    QorAdvanceClock(1);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(w, msg.hwnd);
    EXPECT_EQ(548u, msg.wParam);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    // Several missed periods give one message, as on Windows.
    QorAdvanceClock(1000);
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    // PM_NOREMOVE leaves the timer due.
    QorAdvanceClock(180);
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    // Setting an existing timer again restarts it.
    QorAdvanceClock(100);
    EXPECT_EQ(548u, SetTimer(w, 548, 180, nullptr));
    QorAdvanceClock(100);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_TRUE(KillTimer(w, 548));
    QorAdvanceClock(1000);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_FALSE(KillTimer(w, 548));

    // Due timers come in the order of their due times.
    SetTimer(w, 2, 300, nullptr);
    SetTimer(w, 1, 100, nullptr);
    SetTimer(w, 3, 200, nullptr);
    QorAdvanceClock(300);
    std::vector<WPARAM> ids;
    while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) ids.push_back(msg.wParam);
    EXPECT_EQ((std::vector<WPARAM>{1, 3, 2}), ids);
    for (UINT_PTR id : {1, 2, 3}) KillTimer(w, id);
}

UINT_PTR g_firedId = 0;
void CALLBACK OnThreadTimer(HWND hwnd, UINT msg, UINT_PTR id, DWORD)
{
    if (!hwnd && msg == WM_TIMER) g_firedId = id;
}

TEST_F(Messages, ThreadTimersCallTheirProcedureOnDispatch)
{
    const UINT_PTR id = SetTimer(nullptr, 0, 50, OnThreadTimer);
    ASSERT_NE(0u, id);
    QorSetClockAutoAdvance(TRUE);
    const DWORD before = QorGetClock();
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));  // the clock jumps to the timer
    EXPECT_EQ(static_cast<UINT>(WM_TIMER), msg.message);
    EXPECT_EQ(before + 50, QorGetClock());
    g_firedId = 0;
    DispatchMessageW(&msg);
    EXPECT_EQ(id, g_firedId);
    EXPECT_TRUE(KillTimer(nullptr, id));
    // Without timers and input the loop ends.
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
}

TEST_F(Messages, MessagePositionAndTimeAreThoseOfTheLastMessage)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    Pump();
    QorInjectMouse(WM_MOUSEMOVE, 30, 40, 0);
    QorAdvanceClock(5);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, w, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(30, 40)), GetMessagePos());
    EXPECT_EQ(static_cast<LONG>(QorGetClock()), GetMessageTime());
    EXPECT_EQ(30, msg.pt.x);
}

TEST_F(Messages, TranslateMessagePostsCharacters)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    SetFocus(w);
    QorInjectKey('A', TRUE);
    QorInjectKey('A', FALSE);
    QorInjectKey(VK_SHIFT, TRUE);
    QorInjectKey('B', TRUE);
    std::vector<std::pair<UINT, WPARAM>> got;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR)
            got.emplace_back(msg.message, msg.wParam);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    const std::vector<std::pair<UINT, WPARAM>> expected{
        {WM_KEYDOWN, 'A'}, {WM_CHAR, 'a'}, {WM_KEYUP, 'A'}, {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, 'B'}, {WM_CHAR, 'B'}};
    EXPECT_EQ(expected, got);
    EXPECT_TRUE(GetKeyState(VK_SHIFT) & 0x8000);
    EXPECT_FALSE(GetKeyState('A') & 0x8000);
    SetFocus(nullptr);
}

TEST_F(Messages, MsgWaitForMultipleObjectsWakesOnAPostFromAnotherThreadAndChecksHandles)
{
    HWND w = CreateQuiet("w", WS_POPUP, 0, 0, 10, 10);
    MSG msg;
    // Nothing queued: the wait times out.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT));
    // A post from another thread ends an endless wait.
    std::thread poster([w] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PostMessageW(w, WM_APP, 7, 0);
    });
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT));
    poster.join();
    // A message still in the queue ends the wait at once; without the post bits it does not.
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_PAINT | QS_TIMER));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
    // Due timers and input count for their bits.
    SetTimer(w, 1, 10, nullptr);
    QorAdvanceClock(10);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_TIMER));
    KillTimer(w, 1);
    QorInjectKey('A', TRUE);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_KEY));
    QorResetInput();

    HANDLE handle = reinterpret_cast<HANDLE>(0x1234);
    SetLastError(0);
    EXPECT_EQ(static_cast<DWORD>(WAIT_FAILED), MsgWaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, &handle, FALSE, 0, QS_ALLINPUT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_FAILED), MsgWaitForMultipleObjects(1, &handle, FALSE, 0, QS_ALLINPUT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
