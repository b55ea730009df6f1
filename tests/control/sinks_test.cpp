// The control's advise sinks: cookies, removal, and the loop that calls them while a sink
// changes the list.
#include "control_test_support.h"

namespace {

using controltest::ControlTest;
using controltest::CreateSink;
using controltest::CTestSite;

class ControlSinks : public ControlTest {
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        m_spAdvice = Query<IQORAdvice>();
    }
    void TearDown() override
    {
        m_spAdvice.Release();
        m_pControl->Unadvise(QORSCAN_COOKIE_ALL);
        for (CTestSite* pSink : m_sinks) {
            EXPECT_EQ(1u, pSink->RefCount()) << "a sink reference leaked";
            pSink->Release();
        }
        ControlTest::TearDown();
    }

    // Advises a new recording sink and returns its cookie.
    DWORD AdviseSink()
    {
        m_sinks.push_back(CreateSink());
        DWORD dwCookie = 0;
        EXPECT_EQ(S_OK, m_spAdvice->Advise(static_cast<IQORNotify*>(m_sinks.back()), &dwCookie));
        return dwCookie;
    }
    void WriteKey(LPCOLESTR pszName)
    {
        ATL::CComVariant var(1);
        Query<IPropertyBag>()->Write(pszName, &var);
    }

    ATL::CComPtr<IQORAdvice> m_spAdvice;
    std::vector<CTestSite*> m_sinks;
};

TEST_F(ControlSinks, CookiesFollowTheLargestPresentOne)
{
    EXPECT_EQ(1u, AdviseSink()) << "first cookie on an empty list";
    EXPECT_EQ(2u, AdviseSink());
    EXPECT_EQ(3u, AdviseSink());
    EXPECT_EQ(4u, AdviseSink());
    EXPECT_EQ(5u, AdviseSink());
    EXPECT_EQ(S_OK, m_spAdvice->Unadvise(3));
    EXPECT_EQ(S_OK, m_spAdvice->Unadvise(4));
    // 1, 2, 5 present: the next is 6, and 6 again once it was removed.
    EXPECT_EQ(6u, AdviseSink());
    EXPECT_EQ(S_OK, m_spAdvice->Unadvise(6));
    EXPECT_EQ(6u, AdviseSink());
    EXPECT_EQ(1u, m_sinks[2]->RefCount()) << "Unadvise released the sink";

    // Emptying the list starts the cookies again.
    EXPECT_EQ(S_OK, m_spAdvice->Unadvise(QORSCAN_COOKIE_ALL));
    EXPECT_EQ(1u, m_sinks[0]->RefCount());
    EXPECT_EQ(1u, AdviseSink());
}

TEST_F(ControlSinks, BadAdviseAndUnknownCookies)
{
    DWORD dwCookie = 77;
    EXPECT_EQ(E_INVALIDARG, m_spAdvice->Advise(nullptr, &dwCookie));
    EXPECT_EQ(77u, dwCookie);
    // A null cookie pointer is allowed: the sink is kept all the same.
    m_sinks.push_back(CreateSink());
    EXPECT_EQ(S_OK, m_spAdvice->Advise(static_cast<IQORNotify*>(m_sinks.back()), nullptr));
    EXPECT_EQ(2u, m_sinks.back()->RefCount());

    EXPECT_EQ(S_OK, m_spAdvice->Unadvise(42));
    EXPECT_EQ(S_OK, m_spAdvice->Unadvise(0));
    WriteKey(QORSCAN_KEY_SCAN_TYPE);
    EXPECT_EQ(1u, m_sinks.back()->notifies.size()) << "an unknown cookie removed nothing";
}

TEST_F(ControlSinks, WritesReachTheSinksInOrderAndSkipThoseWithoutNotify)
{
    // A site without IQORNotify stands for any object that does not answer it.
    CTestSite* pPlain = CTestSite::Create(nullptr, false);
    EXPECT_EQ(S_OK, m_spAdvice->Advise(static_cast<IOleWindow*>(pPlain), nullptr));
    AdviseSink();
    AdviseSink();
    std::vector<int> order;
    m_sinks[0]->onNotify = [&] { order.push_back(0); };
    m_sinks[1]->onNotify = [&] { order.push_back(1); };
    WriteKey(QORSCAN_KEY_SCAN_TYPE);
    EXPECT_EQ((std::vector<int>{0, 1}), order);
    EXPECT_EQ((std::vector<std::string>{"scan.type = vt 3"}), m_sinks[0]->notifies);
    m_spAdvice->Unadvise(QORSCAN_COOKIE_ALL);
    EXPECT_EQ(1u, pPlain->RefCount());
    pPlain->Release();
}

TEST_F(ControlSinks, ASinkThatUnadvisesItselfAndAnotherDuringNotify)
{
    const DWORD dwFirst = AdviseSink();
    const DWORD dwSecond = AdviseSink();
    AdviseSink();
    AdviseSink();
    m_sinks[0]->onNotify = [&] {
        m_spAdvice->Unadvise(dwFirst);
        m_spAdvice->Unadvise(dwSecond);
    };
    WriteKey(QORSCAN_KEY_SCAN_TYPE);
    // The list shrank from four to two under the loop: entry 1 is now the old fourth sink.
    EXPECT_EQ(1u, m_sinks[0]->notifies.size());
    EXPECT_EQ(0u, m_sinks[1]->notifies.size());
    EXPECT_EQ(0u, m_sinks[2]->notifies.size());
    EXPECT_EQ(1u, m_sinks[3]->notifies.size());
    EXPECT_EQ(1u, m_sinks[0]->RefCount());
    EXPECT_EQ(1u, m_sinks[1]->RefCount());

    m_sinks[0]->onNotify = nullptr;
    WriteKey(QORSCAN_KEY_SCAN_TYPE);
    EXPECT_EQ(1u, m_sinks[0]->notifies.size());
    EXPECT_EQ(1u, m_sinks[2]->notifies.size());
    EXPECT_EQ(2u, m_sinks[3]->notifies.size());
}

TEST_F(ControlSinks, ASinkThatEmptiesTheListDuringNotify)
{
    AdviseSink();
    AdviseSink();
    m_sinks[0]->onNotify = [&] { m_spAdvice->Unadvise(QORSCAN_COOKIE_ALL); };
    WriteKey(QORSCAN_KEY_SCAN_TYPE);
    EXPECT_EQ(1u, m_sinks[0]->notifies.size());
    EXPECT_EQ(0u, m_sinks[1]->notifies.size());
    EXPECT_EQ(1u, AdviseSink());
}

}  // namespace
