// ATL windows: message map order and chaining, and subclassing (the procedure chain,
// unsubclassing under another procedure, destruction while subclassed).
#include <gtest/gtest.h>

#include <atlbase.h>
#include <atlwin.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr UINT WM_TEST_FIRST = WM_APP + 1;
constexpr UINT WM_TEST_CHAINED = WM_APP + 2;
constexpr UINT WM_TEST_UNHANDLED = WM_APP + 3;
constexpr UINT WM_TEST_DESTROY = WM_APP + 4;
constexpr UINT WM_TEST_RANGE_LOW = WM_APP + 10;
constexpr UINT WM_TEST_RANGE_HIGH = WM_APP + 12;
constexpr LRESULT kHostResult = 0x4057;

std::vector<std::string> g_log;

void Log(const std::string& entry) { g_log.push_back(entry); }

std::string Hex(UINT msg)
{
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%04X", msg);
    return buf;
}

// The window's own procedure, which the objects subclass.
LRESULT CALLBACK HostProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg >= WM_APP)
        Log("host " + Hex(uMsg));
    if (uMsg == WM_NCDESTROY)
        Log("host NCDESTROY");
    if (uMsg == WM_TEST_UNHANDLED)
        return kHostResult + static_cast<LRESULT>(wParam);
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// A procedure installed over an object's, chaining to what it replaced.
WNDPROC g_pfnBelowOver = nullptr;
LRESULT CALLBACK OverProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg >= WM_APP)
        Log("over " + Hex(uMsg));
    return ::CallWindowProcW(g_pfnBelowOver, hWnd, uMsg, wParam, lParam);
}

// A map that a derived class chains to.
class CBaseMap {
public:
    BEGIN_MSG_MAP(CBaseMap)
    MESSAGE_HANDLER(WM_TEST_CHAINED, OnBaseChained)
    MESSAGE_HANDLER(WM_TEST_UNHANDLED, OnBaseUnhandled)
    END_MSG_MAP()

    LRESULT OnBaseChained(UINT, WPARAM, LPARAM, BOOL&)
    {
        Log("base chained");
        return 33;
    }
    LRESULT OnBaseUnhandled(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        Log("base unhandled");
        bHandled = FALSE;
        return 0;
    }
};

// A map held as a member.
class CMemberMap {
public:
    BEGIN_MSG_MAP(CMemberMap)
    MESSAGE_HANDLER(WM_TEST_UNHANDLED, OnMember)
    END_MSG_MAP()

    LRESULT OnMember(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        Log("member");
        bHandled = FALSE;
        return 0;
    }
};

class CTestWindow : public CWindowImpl<CTestWindow>, public CBaseMap {
public:
    BEGIN_MSG_MAP(CTestWindow)
    MESSAGE_HANDLER(WM_TEST_FIRST, OnFirst)
    MESSAGE_HANDLER(WM_TEST_FIRST, OnSecond)
    MESSAGE_HANDLER(WM_TEST_FIRST, OnNeverReached)
    MESSAGE_HANDLER(WM_TEST_CHAINED, OnPassOn)
    MESSAGE_HANDLER(WM_TEST_DESTROY, OnDestroySelf)
    MESSAGE_RANGE_HANDLER(WM_TEST_RANGE_LOW, WM_TEST_RANGE_HIGH, OnRange)
    COMMAND_ID_HANDLER(7, OnCommand7)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    MESSAGE_HANDLER(WM_NCDESTROY, OnNcDestroy)
    CHAIN_MSG_MAP_MEMBER(m_member)
    CHAIN_MSG_MAP(CBaseMap)
    ALT_MSG_MAP(1)
    MESSAGE_HANDLER(WM_TEST_FIRST, OnAlternate)
    END_MSG_MAP()

    LRESULT OnFirst(UINT uMsg, WPARAM, LPARAM, BOOL& bHandled)
    {
        Log("first");
        EXPECT_TRUE(bHandled) << "each handler starts with bHandled set";
        const MSG* pMsg = GetCurrentMessage();
        EXPECT_TRUE(pMsg == nullptr || pMsg->message == uMsg);
        bHandled = FALSE;
        return 11;
    }
    LRESULT OnSecond(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
    {
        Log("second");
        EXPECT_TRUE(bHandled) << "a cleared flag is set again for the next handler";
        return 22 + static_cast<LRESULT>(wParam) + lParam;
    }
    LRESULT OnNeverReached(UINT, WPARAM, LPARAM, BOOL&)
    {
        Log("never");
        return 0;
    }
    LRESULT OnPassOn(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        Log("pass on");
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnRange(UINT uMsg, WPARAM, LPARAM, BOOL&)
    {
        Log("range " + Hex(uMsg));
        return 0;
    }
    LRESULT OnCommand7(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL&)
    {
        Log("command " + std::to_string(wNotifyCode) + " " + std::to_string(wID) + " " +
            std::to_string(reinterpret_cast<LONG_PTR>(hWndCtl)));
        return 0;
    }
    LRESULT OnAlternate(UINT, WPARAM, LPARAM, BOOL&)
    {
        Log("alternate");
        return 44;
    }
    LRESULT OnDestroySelf(UINT, WPARAM, LPARAM, BOOL&)
    {
        Log("destroy self");
        HWND hWnd = m_hWnd;
        ::DestroyWindow(hWnd);
        // The window is gone, but this object lets it go only when this message returns.
        EXPECT_EQ(hWnd, m_hWnd);
        Log("destroy self returns");
        return 0;
    }
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        Log("map DESTROY");
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnNcDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        Log("map NCDESTROY");
        bHandled = FALSE;
        return 0;
    }

    void OnFinalMessage(HWND hWnd) override
    {
        Log("final");
        m_hWndFinal = hWnd;
        EXPECT_EQ(nullptr, m_hWnd) << "the object is detached before OnFinalMessage";
    }

    CMemberMap m_member;
    HWND m_hWndFinal = nullptr;
};

using Log_t = std::vector<std::string>;

TEST(AtlMessageMap, TableOrderHandledFlagChainsRangesCommandsAndAlternateMaps)
{
    g_log.clear();
    CTestWindow wnd;
    LRESULT lResult = -1;
    EXPECT_TRUE(wnd.ProcessWindowMessage(nullptr, WM_TEST_FIRST, 1, 2, lResult, 0));
    EXPECT_EQ(25, lResult);
    EXPECT_TRUE(wnd.ProcessWindowMessage(nullptr, WM_TEST_CHAINED, 0, 0, lResult, 0));
    EXPECT_EQ(33, lResult);
    // Member map first, then the base map; nobody keeps it.
    EXPECT_FALSE(wnd.ProcessWindowMessage(nullptr, WM_TEST_UNHANDLED, 0, 0, lResult, 0));
    EXPECT_FALSE(wnd.ProcessWindowMessage(nullptr, WM_APP + 50, 0, 0, lResult, 0));
    EXPECT_EQ((Log_t{"first", "second", "pass on", "base chained", "member", "base unhandled"}), g_log);

    g_log.clear();
    EXPECT_TRUE(wnd.ProcessWindowMessage(nullptr, WM_TEST_RANGE_LOW, 0, 0, lResult, 0));
    EXPECT_TRUE(wnd.ProcessWindowMessage(nullptr, WM_TEST_RANGE_HIGH, 0, 0, lResult, 0));
    EXPECT_FALSE(wnd.ProcessWindowMessage(nullptr, WM_TEST_RANGE_HIGH + 1, 0, 0, lResult, 0));
    EXPECT_TRUE(wnd.ProcessWindowMessage(nullptr, WM_COMMAND, MAKEWPARAM(7, 3), 0x55, lResult, 0));
    EXPECT_FALSE(wnd.ProcessWindowMessage(nullptr, WM_COMMAND, MAKEWPARAM(8, 3), 0x55, lResult, 0));
    // Map 1 has its own entries; an unknown map id handles nothing.
    EXPECT_TRUE(wnd.ProcessWindowMessage(nullptr, WM_TEST_FIRST, 0, 0, lResult, 1));
    EXPECT_EQ(44, lResult);
    EXPECT_FALSE(wnd.ProcessWindowMessage(nullptr, WM_TEST_CHAINED, 0, 0, lResult, 1));
    EXPECT_FALSE(wnd.ProcessWindowMessage(nullptr, WM_TEST_FIRST, 0, 0, lResult, 2));
    EXPECT_EQ((Log_t{"range " + Hex(WM_TEST_RANGE_LOW), "range " + Hex(WM_TEST_RANGE_HIGH), "command 3 7 85",
                     "alternate"}),
              g_log);
}

class AtlSubclass : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = HostProc;
        wc.lpszClassName = u"AtlTestHost";
        ::RegisterClassExW(&wc);
    }
    void SetUp() override
    {
        m_hWnd = ::CreateWindowExW(0, u"AtlTestHost", u"", WS_POPUP, 0, 0, 100, 80, nullptr, nullptr, nullptr,
                                   nullptr);
        ASSERT_NE(nullptr, m_hWnd);
        g_log.clear();
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    WNDPROC CurrentProc() const { return reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC)); }
    void PutOverProc()
    {
        g_pfnBelowOver = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OverProc)));
    }

    HWND m_hWnd = nullptr;
    const std::string kUnhandled = "host " + Hex(WM_TEST_UNHANDLED);
};

TEST_F(AtlSubclass, MapSeesMessagesFirstAndTheRestReachThePreviousProcedure)
{
    CTestWindow wnd;
    ASSERT_TRUE(wnd.SubclassWindow(m_hWnd));
    EXPECT_TRUE(CurrentProc() == wnd.GetWindowProc());
    EXPECT_EQ(25, ::SendMessageW(m_hWnd, WM_TEST_FIRST, 1, 2));
    EXPECT_EQ(kHostResult + 9, ::SendMessageW(m_hWnd, WM_TEST_UNHANDLED, 9, 0));
    EXPECT_EQ((Log_t{"first", "second", "member", "base unhandled", kUnhandled}), g_log);
    EXPECT_EQ(kHostResult + 4, wnd.DefWindowProc(WM_TEST_UNHANDLED, 4, 0));

    // One window per object; a non-window is refused.
    CTestWindow other;
    EXPECT_FALSE(wnd.SubclassWindow(m_hWnd));
    EXPECT_FALSE(other.SubclassWindow(reinterpret_cast<HWND>(0x7777)));
    EXPECT_FALSE(other.SubclassWindow(nullptr));
    EXPECT_EQ(nullptr, other.m_hWnd);

    g_log.clear();
    EXPECT_EQ(m_hWnd, wnd.UnsubclassWindow());
    EXPECT_EQ(nullptr, wnd.m_hWnd);
    EXPECT_TRUE(CurrentProc() == HostProc);
    ::SendMessageW(m_hWnd, WM_TEST_FIRST, 0, 0);
    EXPECT_EQ((Log_t{"host " + Hex(WM_TEST_FIRST)}), g_log) << "the map is out of the chain";
    EXPECT_EQ(nullptr, wnd.UnsubclassWindow()) << "nothing left to give back";
    ASSERT_TRUE(wnd.SubclassWindow(m_hWnd)) << "the object can take a window again";
    EXPECT_EQ(m_hWnd, wnd.UnsubclassWindow());
}

TEST_F(AtlSubclass, EachObjectHasItsOwnProcedureAndObjectsStack)
{
    CTestWindow lower;
    CTestWindow upper;
    ASSERT_TRUE(lower.SubclassWindow(m_hWnd));
    ASSERT_TRUE(upper.SubclassWindow(m_hWnd));
    EXPECT_NE(lower.GetWindowProc(), upper.GetWindowProc());
    EXPECT_EQ(kHostResult, ::SendMessageW(m_hWnd, WM_TEST_UNHANDLED, 0, 0));
    EXPECT_EQ((Log_t{"member", "base unhandled", "member", "base unhandled", kUnhandled}), g_log);
    EXPECT_EQ(nullptr, lower.UnsubclassWindow()) << "upper sits above lower";
    EXPECT_EQ(m_hWnd, upper.UnsubclassWindow());
    EXPECT_EQ(m_hWnd, lower.UnsubclassWindow());
    EXPECT_TRUE(CurrentProc() == HostProc);
}

TEST_F(AtlSubclass, UnsubclassRefusesUnderAnotherProcedureUnlessForced)
{
    CTestWindow wnd;
    ASSERT_TRUE(wnd.SubclassWindow(m_hWnd));
    PutOverProc();
    ASSERT_TRUE(g_pfnBelowOver == wnd.GetWindowProc());
    EXPECT_EQ(nullptr, wnd.UnsubclassWindow(FALSE));
    EXPECT_EQ(m_hWnd, wnd.m_hWnd) << "still subclassed";
    EXPECT_TRUE(CurrentProc() == OverProc);
    EXPECT_EQ(kHostResult, ::SendMessageW(m_hWnd, WM_TEST_UNHANDLED, 0, 0));
    EXPECT_EQ((Log_t{"over " + Hex(WM_TEST_UNHANDLED), "member", "base unhandled", kUnhandled}), g_log);

    // Forced, it restores the previous procedure over anything.
    EXPECT_EQ(m_hWnd, wnd.UnsubclassWindow(TRUE));
    EXPECT_EQ(nullptr, wnd.m_hWnd);
    EXPECT_TRUE(CurrentProc() == HostProc);

    // Once the other procedure has left, giving the window back works.
    ASSERT_TRUE(wnd.SubclassWindow(m_hWnd));
    PutOverProc();
    ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_pfnBelowOver));
    EXPECT_EQ(m_hWnd, wnd.UnsubclassWindow(FALSE));
    EXPECT_TRUE(CurrentProc() == HostProc);
}

TEST_F(AtlSubclass, DestroyedWindowDetachesTheObjectAfterItsLastMessage)
{
    CTestWindow wnd;
    ASSERT_TRUE(wnd.SubclassWindow(m_hWnd));
    ASSERT_TRUE(::DestroyWindow(m_hWnd));
    EXPECT_EQ((Log_t{"map DESTROY", "map NCDESTROY", "host NCDESTROY", "final"}), g_log);
    EXPECT_EQ(nullptr, wnd.m_hWnd);
    EXPECT_EQ(m_hWnd, wnd.m_hWndFinal);
    EXPECT_TRUE(wnd.m_pfnSuperWindowProc == ::DefWindowProcW);

    // A handler that destroys its own window keeps the handle until it returns.
    CTestWindow self;
    ASSERT_NO_FATAL_FAILURE(SetUp());
    ASSERT_TRUE(self.SubclassWindow(m_hWnd));
    ::SendMessageW(m_hWnd, WM_TEST_DESTROY, 0, 0);
    EXPECT_FALSE(::IsWindow(m_hWnd));
    EXPECT_EQ((Log_t{"destroy self", "map DESTROY", "map NCDESTROY", "host NCDESTROY", "destroy self returns",
                     "final"}),
              g_log);
    EXPECT_EQ(nullptr, self.m_hWnd);
    EXPECT_EQ(m_hWnd, self.m_hWndFinal);
}

TEST_F(AtlSubclass, ObjectDestroyedWhileSubclassedGivesTheWindowBackOrLeavesAForwarder)
{
    {
        CTestWindow wnd;
        ASSERT_TRUE(wnd.SubclassWindow(m_hWnd));
    }
    EXPECT_TRUE(CurrentProc() == HostProc);
    {
        auto pWnd = std::make_unique<CTestWindow>();
        ASSERT_TRUE(pWnd->SubclassWindow(m_hWnd));
        PutOverProc();
    }
    // The procedure above still calls the dead object's procedure, which now passes every
    // message to the host's (the sanitizer build catches any use of the freed object).
    EXPECT_EQ(kHostResult, ::SendMessageW(m_hWnd, WM_TEST_UNHANDLED, 0, 0));
    EXPECT_EQ((Log_t{"over " + Hex(WM_TEST_UNHANDLED), kUnhandled}), g_log);
    g_log.clear();
    ASSERT_TRUE(::DestroyWindow(m_hWnd));
    EXPECT_EQ((Log_t{"host NCDESTROY"}), g_log);
}

TEST_F(AtlSubclass, FullProcedurePoolMakesSubclassingFailCleanly)
{
    const std::size_t nPool = AtlThunk_PoolSize();
    std::vector<std::unique_ptr<CTestWindow>> windows;
    for (std::size_t i = 0; i <= nPool; ++i) {
        auto pWnd = std::make_unique<CTestWindow>();
        if (!pWnd->SubclassWindow(m_hWnd)) {
            EXPECT_EQ(nullptr, pWnd->m_hWnd);
            break;
        }
        windows.push_back(std::move(pWnd));
    }
    EXPECT_EQ(nPool, windows.size()) << "every procedure of the pool is free again after the other tests";
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        EXPECT_EQ(m_hWnd, (*it)->UnsubclassWindow());
    EXPECT_TRUE(CurrentProc() == HostProc);
}

TEST_F(AtlSubclass, CWindowModifiesStylesAndLetsTheHandleGo)
{
    CWindow wnd(m_hWnd);
    EXPECT_TRUE(wnd.ModifyStyle(0, WS_TABSTOP));
    EXPECT_FALSE(wnd.ModifyStyle(0, WS_TABSTOP)) << "no change, nothing done";
    EXPECT_TRUE(wnd.ModifyStyle(WS_TABSTOP, 0));
    EXPECT_EQ(0u, wnd.GetStyle() & WS_TABSTOP);
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(nullptr, wnd.m_hWnd);
    EXPECT_FALSE(::IsWindow(m_hWnd));
}

}  // namespace
