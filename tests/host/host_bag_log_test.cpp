// The host bag's call log, its hook and the forwarding of job keys to advised sinks, with the
// re-entrant calls a control makes from inside them.
#include <gtest/gtest.h>

#include "host_test_support.h"

namespace {

using Texts = std::vector<std::string>;

TEST(HostBagLog, EveryKindOfCallIsRecordedInOrderWithItsArgumentsAndResult)
{
    auto spBag = MakeBag();
    auto spSink = CTestSink::Create();
    const HWND hWnd = reinterpret_cast<HWND>(0x5678);

    ATL::CComVariant varPos = PairValue(100, 50);
    ATL::CComVariant varGot;
    DWORD dwCookie = 0;
    OLECMD cmd = {QORSCAN_CMDID_AUTOCROP, 0};
    ATL::CComBSTR bstrBusy(QORSCAN_KEY_SCAN_BUSY);
    ATL::CComVariant varIdle(false);
    GUID guidOther = GUID_ScanSource;
    guidOther.Data1 = 1;

    spBag->Write(QORSCAN_KEY_SCAN_POS, &varPos);
    spBag->Read(QORSCAN_KEY_SCAN_POS, &varGot, nullptr);
    spBag->Read(QORSCAN_KEY_SCAN_CROP, &varGot, nullptr);
    spBag->Advise(spSink->GetUnknown(), &dwCookie);
    spBag->Notify(GUID_ScanSource, bstrBusy, &varIdle);
    spBag->Notify(guidOther, bstrBusy, nullptr);
    spBag->NotifyWindow(hWnd, QORSCAN_NOTIFYWINDOW_SCAN_ENDED, 0);
    spBag->QueryStatus(&CGID_ScanControl, 1, &cmd, nullptr);
    spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_AUTOCROP, 0, nullptr, nullptr);
    spBag->Write(QORSCAN_KEY_SCAN_POS, nullptr);
    spBag->Unadvise(dwCookie);
    spBag->Unadvise(dwCookie);

    EXPECT_EQ((Texts{"Write scan.pos = VT_UI4 100x50", "Read scan.pos", "Read scan.crop", "Advise 1",
                     "Notify scan.busy = VT_BOOL false", "Notify (foreign) scan.busy = null", "NotifyWindow 1 0",
                     "QueryStatus 2207", "Exec 2207", "Write scan.pos = null", "Unadvise 1", "Unadvise 1"}),
              spBag->CallTexts());

    const auto& vecCalls = spBag->Calls();
    ASSERT_EQ(12u, vecCalls.size());
    // Results as returned.
    EXPECT_EQ(S_OK, vecCalls[1].hr);
    EXPECT_EQ(E_INVALIDARG, vecCalls[2].hr);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, vecCalls[11].hr);
    // A successful Read records what it handed out; a failed one nothing.
    ASSERT_TRUE(vecCalls[1].value);
    EXPECT_TRUE(*vecCalls[1].value == varPos);
    EXPECT_FALSE(vecCalls[2].value);
    // Identities and the remaining arguments.
    EXPECT_EQ(spSink->GetUnknown(), vecCalls[3].pUnkSink);
    ASSERT_TRUE(vecCalls[5].guid);
    EXPECT_TRUE(IsEqualGUID(guidOther, *vecCalls[5].guid));
    EXPECT_EQ(hWnd, vecCalls[6].hWnd);
    EXPECT_EQ(std::vector<ULONG>{2207}, vecCalls[7].vecCmdIds);

    EXPECT_EQ((Texts{"Write scan.pos = VT_UI4 100x50", "Write scan.pos = null"}),
              spBag->CallTexts(HostBagCallKind::Write));
    spBag->ClearCalls();
    EXPECT_TRUE(spBag->Calls().empty());
}

TEST(HostBagLog, ValuesAreFormattedForReadableSequences)
{
    ATL::CComVariant varName(u"a\u00e9\"");
    EXPECT_EQ("VT_BSTR \"a\\u00E9\"\"", FormatHostBagValue(varName));
    EXPECT_EQ("VT_ARRAY|VT_UI4 [1x2, 65535x0]",
              FormatHostBagValue(FrameArrayValue({QorScanMakePair(1, 2), QorScanMakePair(0xFFFF, 0)})));
    EXPECT_EQ("VT_EMPTY", FormatHostBagValue(ATL::CComVariant()));
    EXPECT_EQ("VT_BOOL 1", FormatHostBagValue(ATL::CComVariant(static_cast<short>(1), VT_BOOL)));
    EXPECT_EQ("VT 5", FormatHostBagValue(ATL::CComVariant(2.5)));
}

TEST(HostBagLog, ACallMadeFromInsideAnotherIsLoggedAfterItAndBothKeepTheirResults)
{
    auto spBag = MakeBag();
    spBag->SetCallHook([&](const CHostBagCall& call) {
        if (call.kind == HostBagCallKind::Write && call.bstrName == QORSCAN_KEY_SCAN_BUSY) {
            ATL::CComVariant var;
            spBag->Read(QORSCAN_KEY_SCAN_INIT, &var, nullptr);
            // The hook runs after the write took effect.
            EXPECT_TRUE(spBag->GetValue(QORSCAN_KEY_SCAN_BUSY));
        }
    });
    ATL::CComVariant varBusy(true);
    EXPECT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_BUSY, &varBusy));
    EXPECT_EQ((Texts{"Write scan.busy = VT_BOOL true", "Read scan.init"}), spBag->CallTexts());
    EXPECT_EQ(S_OK, spBag->Calls()[0].hr);
    EXPECT_EQ(E_INVALIDARG, spBag->Calls()[1].hr);
}

TEST(HostBagLog, ClearingTheLogFromANestedCallLeavesTheNewLogIntact)
{
    auto spBag = MakeBag();
    spBag->SetExecHandler(QORSCAN_CMDID_PREVIEW, [&](DWORD, VARIANT*, VARIANT*) {
        spBag->ClearCalls();
        ATL::CComVariant varBusy(true);
        spBag->Write(QORSCAN_KEY_SCAN_BUSY, &varBusy);
        return E_FAIL;
    });
    EXPECT_EQ(E_FAIL, spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_PREVIEW, 0, nullptr, nullptr));
    ASSERT_EQ((Texts{"Write scan.busy = VT_BOOL true"}), spBag->CallTexts());
    EXPECT_EQ(S_OK, spBag->Calls()[0].hr);  // not overwritten with the Exec's E_FAIL
}

// --- Forwarding of job keys

TEST(HostBagForwarding, IsOffUntilAskedFor)
{
    auto spBag = MakeBag();
    auto spSink = CTestSink::Create();
    spBag->Advise(spSink->GetUnknown(), nullptr);
    ATL::CComVariant varPos = PairValue(1, 2);
    spBag->Write(QORSCAN_KEY_SCAN_POS, &varPos);
    EXPECT_TRUE(spSink->m_vecNames.empty());
}

TEST(HostBagForwarding, WritesOfTheFourJobKeysReachEveryNotifySinkAfterTheyAreStored)
{
    auto spBag = MakeBag();
    spBag->SetForwarding(true);
    auto spFirst = CTestSink::Create();
    auto spSecond = CTestSink::Create();
    std::vector<std::string> vecOrder;
    spFirst->m_fnOnNotify = [&](BSTR bstrName, VARIANT* pVar) {
        vecOrder.push_back("first");
        // The bag already holds the new value (or no longer holds a removed one).
        auto stored = spBag->GetValue(bstrName);
        EXPECT_EQ(pVar != nullptr, stored.has_value());
        if (pVar != nullptr && stored) {
            EXPECT_TRUE(*stored == *pVar);
        }
    };
    spSecond->m_fnOnNotify = [&](BSTR, VARIANT*) { vecOrder.push_back("second"); };
    // A sink without IQORNotify is passed over (an enumerator of another bag: one of this bag
    // would hold this bag, and the two would keep each other alive).
    ATL::CComPtr<IEnumVARIANT> spNotASink;
    MakeBag()->Clone(&spNotASink);
    spBag->Advise(spNotASink, nullptr);
    spBag->Advise(spFirst->GetUnknown(), nullptr);
    spBag->Advise(spSecond->GetUnknown(), nullptr);

    ATL::CComVariant varType(2);
    ATL::CComVariant varSize = PairValue(8500, 11000);
    ATL::CComVariant varPos = PairValue(0, 0);
    ATL::CComVariant varCrop = PairValue(4000, 5000);
    ATL::CComVariant varOther = PairValue(1, 1);
    spBag->Write(QORSCAN_KEY_SCAN_TYPE, &varType);
    spBag->Write(QORSCAN_KEY_SCAN_SIZE, &varSize);
    spBag->Write(QORSCAN_KEY_SCAN_FLIP, &varOther);  // not a forwarded key
    spBag->Write(QORSCAN_KEY_SCAN_POS, &varPos);
    spBag->Write(QORSCAN_KEY_SCAN_CROP, &varCrop);
    spBag->Write(QORSCAN_KEY_SCAN_CROP, nullptr);
    spBag->Write(u"SCAN.POS", &varPos);  // names compare exactly

    ASSERT_EQ(5u, spFirst->m_vecNames.size());
    EXPECT_TRUE(spFirst->m_vecNames[0] == QORSCAN_KEY_SCAN_TYPE);
    EXPECT_TRUE(spFirst->m_vecNames[1] == QORSCAN_KEY_SCAN_SIZE);
    EXPECT_TRUE(spFirst->m_vecNames[2] == QORSCAN_KEY_SCAN_POS);
    EXPECT_TRUE(spFirst->m_vecNames[3] == QORSCAN_KEY_SCAN_CROP);
    EXPECT_TRUE(spFirst->m_vecNames[4] == QORSCAN_KEY_SCAN_CROP);
    EXPECT_EQ((std::vector<bool>{false, false, false, false, true}), spFirst->m_vecNull);
    for (const GUID& guid : spFirst->m_vecSources)
        EXPECT_TRUE(IsEqualGUID(GUID_ScanSource, guid));
    EXPECT_EQ(5u, spSecond->m_vecNames.size());
    EXPECT_EQ((Texts{"first", "second", "first", "second", "first", "second", "first", "second", "first", "second"}),
              vecOrder);
}

TEST(HostBagForwarding, ASinkThatWritesBackFromInsideNotifyNestsCleanly)
{
    auto spBag = MakeBag();
    spBag->SetForwarding(true);
    auto spSink = CTestSink::Create();
    // As a control does: a "scan.pos" notification makes it read "scan.crop" and write its
    // own "scan.crop" back, which is forwarded to it in turn; plus enough other keys to make
    // the bag's storage and log grow while the outer write is still running.
    spSink->m_fnOnNotify = [&](BSTR bstrName, VARIANT*) {
        if (!(ATL::CComBSTR(bstrName) == QORSCAN_KEY_SCAN_POS))
            return;
        ATL::CComVariant varCrop;
        spBag->Read(QORSCAN_KEY_SCAN_CROP, &varCrop, nullptr);
        ATL::CComVariant varNewCrop = PairValue(300, 400);
        spBag->Write(QORSCAN_KEY_SCAN_CROP, &varNewCrop);
        for (int i = 0; i < 40; ++i) {
            OLECHAR szName[] = u"fill.00";
            szName[5] = static_cast<OLECHAR>(u'0' + i / 10);
            szName[6] = static_cast<OLECHAR>(u'0' + i % 10);
            ATL::CComVariant varFiller(i);
            spBag->Write(szName, &varFiller);
        }
    };
    spBag->Advise(spSink->GetUnknown(), nullptr);
    spBag->ClearCalls();

    ATL::CComVariant varPos = PairValue(10, 20);
    EXPECT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_POS, &varPos));

    const Texts vecTexts = spBag->CallTexts();
    ASSERT_GE(vecTexts.size(), 3u);
    EXPECT_EQ((Texts{"Write scan.pos = VT_UI4 10x20", "Read scan.crop", "Write scan.crop = VT_UI4 300x400"}),
              Texts(vecTexts.begin(), vecTexts.begin() + 3));
    EXPECT_EQ(S_OK, spBag->Calls()[0].hr);
    EXPECT_EQ(E_INVALIDARG, spBag->Calls()[1].hr);
    ASSERT_EQ(2u, spSink->m_vecNames.size());
    EXPECT_TRUE(spSink->m_vecNames[1] == QORSCAN_KEY_SCAN_CROP);
    EXPECT_TRUE(*spBag->GetValue(QORSCAN_KEY_SCAN_POS) == varPos);
    EXPECT_TRUE(*spBag->GetValue(QORSCAN_KEY_SCAN_CROP) == PairValue(300, 400));
}

TEST(HostBagForwarding, SinksUnadvisedDuringANotificationStillGetItButNotTheNext)
{
    auto spBag = MakeBag();
    spBag->SetForwarding(true);
    auto spFirst = CTestSink::Create();
    auto spSecond = CTestSink::Create();
    DWORD dwFirst = 0;
    DWORD dwSecond = 0;
    spBag->Advise(spFirst->GetUnknown(), &dwFirst);
    spBag->Advise(spSecond->GetUnknown(), &dwSecond);
    // The first sink removes both itself and the second one; the bag's copy of the list keeps
    // both alive until the notification is through.
    spFirst->m_fnOnNotify = [&](BSTR, VARIANT*) {
        spBag->Unadvise(dwFirst);
        spBag->Unadvise(dwSecond);
    };
    const int nLiveBefore = CTestSink::s_nLive;
    spFirst.Release();
    spSecond->m_fnOnNotify = [&](BSTR, VARIANT*) { EXPECT_EQ(nLiveBefore, CTestSink::s_nLive); };

    ATL::CComVariant varType(1);
    spBag->Write(QORSCAN_KEY_SCAN_TYPE, &varType);
    EXPECT_EQ(nLiveBefore - 1, CTestSink::s_nLive);  // the first sink is gone now
    EXPECT_EQ(1u, spSecond->m_vecNames.size());
    spBag->Write(QORSCAN_KEY_SCAN_TYPE, &varType);
    EXPECT_EQ(1u, spSecond->m_vecNames.size());
    EXPECT_TRUE(spBag->AdviseCookies().empty());
}

TEST(HostBagForwarding, ASinkMayReleaseTheLastReferenceOfTheBagWhileItIsCalled)
{
    CHostPropertyBag* pBag = nullptr;
    ASSERT_EQ(S_OK, CHostPropertyBag::CreateInstance(&pBag));
    pBag->SetForwarding(true);
    auto spSink = CTestSink::Create();
    spSink->m_fnOnNotify = [&](BSTR, VARIANT*) {
        // The host lets its bag go; the bag still finishes the write it is in.
        pBag->ReleaseAllSinks();
        pBag->Release();
    };
    pBag->Advise(spSink->GetUnknown(), nullptr);
    ATL::CComVariant varSize = PairValue(1, 2);
    EXPECT_EQ(S_OK, pBag->Write(QORSCAN_KEY_SCAN_SIZE, &varSize));
    EXPECT_EQ(1u, spSink->m_vecNames.size());
}

}  // namespace
