// The host bag through its COM interfaces: values, sinks, key enumeration and commands.
#include <gtest/gtest.h>

#include <HostMessage.h>

#include "host_test_support.h"

namespace {

std::vector<DWORD> ArrayPairs(const VARIANT& var)
{
    std::vector<DWORD> vecPairs;
    EXPECT_EQ(S_OK, HostReadFrameArray(var, vecPairs));
    return vecPairs;
}

// --- IPropertyBag

TEST(HostBagProperties, EveryKindOfValueTheKeysUseComesBackEqualAndOwnedByTheReader)
{
    auto spBag = MakeBag();
    ATL::CComVariant varPair = PairValue(8500, 11000);
    ATL::CComVariant varPath(u"/tmp/QOR1/prev_\u00e9.jpg");
    ATL::CComVariant varBool(true);
    ATL::CComVariant varInt(270);
    ATL::CComVariant varFrames = FrameArrayValue({QorScanMakePair(100, 200), QorScanMakePair(300, 400)});
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_SIZE, &varPair));
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_TEMP_PRE, &varPath));
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_INIT, &varBool));
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_ROTATE, &varInt));
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, &varFrames));

    ATL::CComVariant got;
    ASSERT_EQ(S_OK, spBag->Read(QORSCAN_KEY_SCAN_SIZE, &got, nullptr));
    EXPECT_EQ(VT_UI4, got.vt);
    EXPECT_EQ(8500u, QorScanPairLow(got.ulVal));
    EXPECT_EQ(11000u, QorScanPairHigh(got.ulVal));

    // Reading into a VARIANT that holds a string frees that string (the sanitizer run checks it)
    // and hands out a string of the reader's own.
    ASSERT_EQ(S_OK, spBag->Read(QORSCAN_KEY_SCAN_TEMP_PRE, &got, nullptr));
    EXPECT_TRUE(got == varPath);
    EXPECT_NE(varPath.bstrVal, got.bstrVal);

    ASSERT_EQ(S_OK, spBag->Read(QORSCAN_KEY_SCAN_INIT, &got, nullptr));
    EXPECT_EQ(VT_BOOL, got.vt);
    EXPECT_EQ(VARIANT_TRUE, got.boolVal);

    ASSERT_EQ(S_OK, spBag->Read(QORSCAN_KEY_SCAN_ROTATE, &got, nullptr));
    EXPECT_EQ(VT_I4, got.vt);
    EXPECT_EQ(270, got.lVal);

    ASSERT_EQ(S_OK, spBag->Read(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, &got, nullptr));
    EXPECT_EQ(VT_ARRAY | VT_UI4, got.vt);
    EXPECT_NE(varFrames.parray, got.parray);
    EXPECT_EQ((std::vector<DWORD>{QorScanMakePair(100, 200), QorScanMakePair(300, 400)}), ArrayPairs(got));
}

TEST(HostBagProperties, WriteStoresACopyThatLaterChangesOfTheWritersValueDoNotReach)
{
    auto spBag = MakeBag();
    ATL::CComVariant varFrames = FrameArrayValue({QorScanMakePair(1, 2)});
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_MULTICROP_ARRAY, &varFrames));
    LONG nIndex = 0;
    DWORD dwChanged = QorScanMakePair(9, 9);
    ASSERT_EQ(S_OK, ::SafeArrayPutElement(varFrames.parray, &nIndex, &dwChanged));

    auto stored = spBag->GetValue(QORSCAN_KEY_SCAN_MULTICROP_ARRAY);
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::vector<DWORD>{QorScanMakePair(1, 2)}, ArrayPairs(*stored));
}

TEST(HostBagProperties, ByReferenceValuesAreStoredAsTheValueTheyPointAt)
{
    auto spBag = MakeBag();
    LONG nValue = 5;
    VARIANT varRef;
    ::VariantInit(&varRef);
    varRef.vt = VT_I4 | VT_BYREF;
    varRef.plVal = &nValue;
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_BOOT_ADF_HIDE, &varRef));
    nValue = 6;

    ATL::CComVariant got;
    ASSERT_EQ(S_OK, spBag->Read(QORSCAN_KEY_BOOT_ADF_HIDE, &got, nullptr));
    EXPECT_EQ(VT_I4, got.vt);
    EXPECT_EQ(5, got.lVal);
}

TEST(HostBagProperties, ANullValuePointerRemovesTheKeyAndAVtEmptyValueIsStored)
{
    auto spBag = MakeBag();
    ATL::CComVariant varOne(1u);
    ATL::CComVariant varEmpty;
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_PAGE, &varOne));
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_OCR, &varEmpty));

    EXPECT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_PAGE, nullptr));
    EXPECT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_FLIP, nullptr));  // absent: nothing to remove

    ATL::CComVariant got(7);
    EXPECT_EQ(E_INVALIDARG, spBag->Read(QORSCAN_KEY_SCAN_PAGE, &got, nullptr));
    EXPECT_EQ(VT_I4, got.vt);  // a failed read leaves the caller's VARIANT alone
    EXPECT_EQ(S_OK, spBag->Read(QORSCAN_KEY_SCAN_OCR, &got, nullptr));
    EXPECT_EQ(VT_EMPTY, got.vt);
    ASSERT_EQ(1u, spBag->KeyNames().size());
    EXPECT_TRUE(spBag->KeyNames()[0] == QORSCAN_KEY_SCAN_OCR);
}

TEST(HostBagProperties, NamesCompareExactlyAndNullArgumentsAreRefused)
{
    auto spBag = MakeBag();
    ATL::CComVariant varStyle(0u);
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_BASE_STYLE, &varStyle));
    ATL::CComVariant got;
    EXPECT_EQ(E_INVALIDARG, spBag->Read(u"BASE.STYLE", &got, nullptr));
    EXPECT_EQ(E_INVALIDARG, spBag->Read(u"base.style ", &got, nullptr));
    EXPECT_EQ(E_POINTER, spBag->Read(nullptr, &got, nullptr));
    EXPECT_EQ(E_POINTER, spBag->Read(QORSCAN_KEY_BASE_STYLE, nullptr, nullptr));
    EXPECT_EQ(E_POINTER, spBag->Write(nullptr, &varStyle));
    EXPECT_EQ(1u, spBag->KeyNames().size());
}

TEST(HostBagProperties, RewritingAKeyKeepsItsPlaceAndAHostSetValueIsNotLogged)
{
    auto spBag = MakeBag();
    ASSERT_EQ(S_OK, spBag->SetValue(QORSCAN_KEY_SCAN_SIZE, PairValue(1, 1)));
    ASSERT_EQ(S_OK, spBag->SetValue(QORSCAN_KEY_SCAN_POS, PairValue(2, 2)));
    ATL::CComVariant varSize = PairValue(3, 3);
    ASSERT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_SIZE, &varSize));

    const auto vecNames = spBag->KeyNames();
    ASSERT_EQ(2u, vecNames.size());
    EXPECT_TRUE(vecNames[0] == QORSCAN_KEY_SCAN_SIZE);
    EXPECT_TRUE(vecNames[1] == QORSCAN_KEY_SCAN_POS);
    EXPECT_TRUE(*spBag->GetValue(QORSCAN_KEY_SCAN_SIZE) == varSize);
    EXPECT_EQ(std::vector<std::string>{"Write scan.size = VT_UI4 3x3"}, spBag->CallTexts());
}

// --- IQORAdvice

TEST(HostBagAdvise, CookiesCountUpAreNeverReusedAndEachSinkHoldsOneReference)
{
    auto spBag = MakeBag();
    const int nLiveBefore = CTestSink::s_nLive;
    {
        auto spSink1 = CTestSink::Create();
        auto spSink2 = CTestSink::Create();
        DWORD dwCookie1 = 0;
        DWORD dwCookie2 = 0;
        ASSERT_EQ(S_OK, spBag->Advise(spSink1->GetUnknown(), &dwCookie1));
        ASSERT_EQ(S_OK, spBag->Advise(spSink2->GetUnknown(), &dwCookie2));
        EXPECT_EQ(1u, dwCookie1);
        EXPECT_EQ(2u, dwCookie2);
        EXPECT_EQ(S_OK, spBag->Unadvise(dwCookie2));
        DWORD dwCookie3 = 0;
        ASSERT_EQ(S_OK, spBag->Advise(spSink2->GetUnknown(), &dwCookie3));
        EXPECT_EQ(3u, dwCookie3);
        EXPECT_EQ((std::vector<DWORD>{1, 3}), spBag->AdviseCookies());
        EXPECT_TRUE(spBag->AdvisedSink(3) == spSink2->GetUnknown());
        EXPECT_TRUE(spBag->AdvisedSink(2) == nullptr);
    }
    // The bag's references keep both sinks alive; Unadvise lets them go.
    EXPECT_EQ(nLiveBefore + 2, CTestSink::s_nLive);
    EXPECT_EQ(S_OK, spBag->Unadvise(1));
    EXPECT_EQ(nLiveBefore + 1, CTestSink::s_nLive);
    EXPECT_EQ(S_OK, spBag->Unadvise(3));
    EXPECT_EQ(nLiveBefore, CTestSink::s_nLive);
}

TEST(HostBagAdvise, BadArgumentsAndUnknownCookiesGiveTheConnectionPointErrors)
{
    auto spBag = MakeBag();
    DWORD dwCookie = 99;
    EXPECT_EQ(E_POINTER, spBag->Advise(nullptr, &dwCookie));
    EXPECT_EQ(0u, dwCookie);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, spBag->Unadvise(0));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, spBag->Unadvise(1));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, spBag->Unadvise(QORSCAN_COOKIE_ALL));

    // The cookie pointer may be null: the sink is kept all the same.
    auto spSink = CTestSink::Create();
    EXPECT_EQ(S_OK, spBag->Advise(spSink->GetUnknown(), nullptr));
    EXPECT_EQ(std::vector<DWORD>{1}, spBag->AdviseCookies());
}

TEST(HostBagAdvise, ReleasingTheBagOrAllSinksReleasesTheSinksItStillHolds)
{
    const int nLiveBefore = CTestSink::s_nLive;
    {
        auto spBag = MakeBag();
        ASSERT_EQ(S_OK, spBag->Advise(CTestSink::Create()->GetUnknown(), nullptr));
        EXPECT_EQ(nLiveBefore + 1, CTestSink::s_nLive);
    }
    EXPECT_EQ(nLiveBefore, CTestSink::s_nLive);

    // A sink whose last release unadvises another sink at the same bag, as a control's
    // teardown does: the bag must not be walking its list then.
    auto spBag = MakeBag();
    DWORD dwFirst = 0;
    DWORD dwSecond = 0;
    HRESULT hrNested = E_UNEXPECTED;
    {
        auto spFirst = CTestSink::Create();
        ASSERT_EQ(S_OK, spBag->Advise(spFirst->GetUnknown(), &dwFirst));
        ASSERT_EQ(S_OK, spBag->Advise(CTestSink::Create()->GetUnknown(), &dwSecond));
        spFirst->m_fnOnDestroy = [&] { hrNested = spBag->Unadvise(dwSecond); };
    }
    EXPECT_EQ(S_OK, spBag->Unadvise(dwFirst));
    EXPECT_EQ(S_OK, hrNested);
    EXPECT_EQ(nLiveBefore, CTestSink::s_nLive);

    {
        auto spFirst = CTestSink::Create();
        ASSERT_EQ(S_OK, spBag->Advise(spFirst->GetUnknown(), &dwFirst));
        ASSERT_EQ(S_OK, spBag->Advise(CTestSink::Create()->GetUnknown(), &dwSecond));
        spFirst->m_fnOnDestroy = [&] { hrNested = spBag->Unadvise(dwSecond); };
    }
    spBag->ReleaseAllSinks();
    EXPECT_EQ(CONNECT_E_NOCONNECTION, hrNested);  // already out of the list
    EXPECT_EQ(nLiveBefore, CTestSink::s_nLive);
    EXPECT_TRUE(spBag->AdviseCookies().empty());
}

// --- IEnumVARIANT

std::vector<std::u16string> NextOneByOne(IEnumVARIANT* pEnum)
{
    std::vector<std::u16string> vecNames;
    for (;;) {
        ATL::CComVariant var;
        ULONG nFetched = 99;
        const HRESULT hr = pEnum->Next(1, &var, &nFetched);
        if (hr != S_OK) {
            EXPECT_EQ(S_FALSE, hr);
            EXPECT_EQ(0u, nFetched);
            return vecNames;
        }
        EXPECT_EQ(1u, nFetched);
        EXPECT_EQ(VT_BSTR, var.vt);
        vecNames.emplace_back(var.bstrVal, ::SysStringLen(var.bstrVal));
    }
}

ATL::CComPtr<CHostPropertyBag> BagWithThreeKeys()
{
    auto spBag = MakeBag();
    spBag->SetValue(QORSCAN_KEY_SCAN_INIT, ATL::CComVariant(true));
    spBag->SetValue(QORSCAN_KEY_BOOT_ADF_HIDE, ATL::CComVariant(1u));
    spBag->SetValue(u"boot.lang", ATL::CComVariant(u"de"));
    return spBag;
}

TEST(HostBagEnum, TheBagEnumeratesItsKeyNamesInWriteOrderOnePerNext)
{
    auto spBag = BagWithThreeKeys();
    ATL::CComQIPtr<IEnumVARIANT> spEnum(spBag->GetUnknown());
    ASSERT_TRUE(spEnum != nullptr);
    ASSERT_EQ(S_OK, spEnum->Reset());
    EXPECT_EQ((std::vector<std::u16string>{u"scan.init", u"boot.adf.hide", u"boot.lang"}), NextOneByOne(spEnum));
    // Without a Reset the end stays the end; Reset starts again.
    EXPECT_TRUE(NextOneByOne(spEnum).empty());
    ASSERT_EQ(S_OK, spEnum->Reset());
    EXPECT_EQ(3u, NextOneByOne(spEnum).size());
}

TEST(HostBagEnum, TheNamesAreASnapshotTakenAtReset)
{
    auto spBag = BagWithThreeKeys();
    ATL::CComQIPtr<IEnumVARIANT> spEnum(spBag->GetUnknown());
    ASSERT_EQ(S_OK, spEnum->Reset());
    ATL::CComVariant var;
    ASSERT_EQ(S_OK, spEnum->Next(1, &var, nullptr));

    // A key removed and one added while the enumeration runs: the snapshot goes on unchanged,
    // so a reader that writes during enumeration neither skips nor repeats a name.
    spBag->Write(QORSCAN_KEY_BOOT_ADF_HIDE, nullptr);
    ATL::CComVariant varNew(1);
    spBag->Write(u"boot.new", &varNew);
    EXPECT_EQ((std::vector<std::u16string>{u"boot.adf.hide", u"boot.lang"}), NextOneByOne(spEnum));

    ASSERT_EQ(S_OK, spEnum->Reset());
    EXPECT_EQ((std::vector<std::u16string>{u"scan.init", u"boot.lang", u"boot.new"}), NextOneByOne(spEnum));
}

TEST(HostBagEnum, AnEnumerationNeverResetSeesTheKeysOfItsFirstNext)
{
    auto spBag = BagWithThreeKeys();
    ATL::CComQIPtr<IEnumVARIANT> spEnum(spBag->GetUnknown());
    EXPECT_EQ(3u, NextOneByOne(spEnum).size());
}

TEST(HostBagEnum, NextOfSeveralSkipAndTheirArgumentRules)
{
    auto spBag = BagWithThreeKeys();
    ATL::CComQIPtr<IEnumVARIANT> spEnum(spBag->GetUnknown());
    ASSERT_EQ(S_OK, spEnum->Reset());

    VARIANT rgVar[2];
    EXPECT_EQ(E_POINTER, spEnum->Next(2, rgVar, nullptr));  // several need a fetched count
    EXPECT_EQ(E_POINTER, spEnum->Next(1, nullptr, nullptr));

    ULONG nFetched = 0;
    ASSERT_EQ(S_OK, spEnum->Next(2, rgVar, &nFetched));
    EXPECT_EQ(2u, nFetched);
    EXPECT_TRUE(ATL::CComBSTR(rgVar[1].bstrVal) == u"boot.adf.hide");
    ::VariantClear(&rgVar[0]);
    ::VariantClear(&rgVar[1]);

    ASSERT_EQ(S_OK, spEnum->Reset());
    EXPECT_EQ(S_OK, spEnum->Skip(2));
    EXPECT_EQ((std::vector<std::u16string>{u"boot.lang"}), NextOneByOne(spEnum));
    ASSERT_EQ(S_OK, spEnum->Reset());
    EXPECT_EQ(S_FALSE, spEnum->Skip(4));
    EXPECT_TRUE(NextOneByOne(spEnum).empty());

    ASSERT_EQ(S_OK, spEnum->Reset());
    ASSERT_EQ(S_OK, spEnum->Skip(2));
    ASSERT_EQ(S_FALSE, spEnum->Next(2, rgVar, &nFetched));
    EXPECT_EQ(1u, nFetched);
    EXPECT_TRUE(ATL::CComBSTR(rgVar[0].bstrVal) == u"boot.lang");
    ::VariantClear(&rgVar[0]);
}

TEST(HostBagEnum, ACloneHasItsOwnPositionAndKeepsTheBagAlive)
{
    ATL::CComPtr<IEnumVARIANT> spClone;
    {
        auto spBag = BagWithThreeKeys();
        ATL::CComQIPtr<IEnumVARIANT> spEnum(spBag->GetUnknown());
        ASSERT_EQ(S_OK, spEnum->Reset());
        ASSERT_EQ(S_OK, spEnum->Skip(1));
        EXPECT_EQ(E_POINTER, spEnum->Clone(nullptr));
        ASSERT_EQ(S_OK, spEnum->Clone(&spClone));
        EXPECT_EQ(2u, NextOneByOne(spEnum).size());
        // A clone is an object of its own: it does not answer the bag's interfaces.
        ATL::CComQIPtr<IPropertyBag> spNotBag(spClone);
        EXPECT_TRUE(spNotBag == nullptr);
    }
    EXPECT_EQ((std::vector<std::u16string>{u"boot.adf.hide", u"boot.lang"}), NextOneByOne(spClone));
    ATL::CComPtr<IEnumVARIANT> spCloneOfClone;
    ASSERT_EQ(S_OK, spClone->Clone(&spCloneOfClone));
    ASSERT_EQ(S_OK, spClone->Reset());
    EXPECT_EQ(3u, NextOneByOne(spClone).size());
    EXPECT_TRUE(NextOneByOne(spCloneOfClone).empty());
}

// --- IOleCommandTarget

TEST(HostBagCommands, ExecRunsTheHandlerOfItsIdAndReturnsItsResult)
{
    auto spBag = MakeBag();
    int nPreviews = 0;
    spBag->SetExecHandler(QORSCAN_CMDID_PREVIEW, [&](DWORD, VARIANT*, VARIANT* pvaOut) {
        ++nPreviews;
        if (pvaOut != nullptr) {
            pvaOut->vt = VT_I4;
            pvaOut->lVal = 42;
        }
        return S_OK;
    });
    spBag->SetExecHandler(QORSCAN_CMDID_SCAN, [](DWORD, VARIANT*, VARIANT*) { return E_FAIL; });

    ATL::CComVariant varOut;
    EXPECT_EQ(S_OK, spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_PREVIEW, 0, nullptr, &varOut));
    EXPECT_EQ(1, nPreviews);
    EXPECT_EQ(42, varOut.lVal);
    EXPECT_EQ(E_FAIL, spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_SCAN, 0, nullptr, nullptr));
    // Without a handler: the default result.
    EXPECT_EQ(S_OK, spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_AUTOCROP, 0, nullptr, nullptr));
    spBag->SetExecDefault(OLECMDERR_E_NOTSUPPORTED);
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_AUTOCROP, 0, nullptr, nullptr));
    // An empty handler removes the handler.
    spBag->SetExecHandler(QORSCAN_CMDID_SCAN, nullptr);
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_SCAN, 0, nullptr, nullptr));
}

TEST(HostBagCommands, AHandlerMayReplaceItselfAndCallTheBag)
{
    auto spBag = MakeBag();
    spBag->SetExecHandler(QORSCAN_CMDID_PREVIEW, [&](DWORD, VARIANT*, VARIANT*) {
        ATL::CComVariant varBusy(true);
        spBag->Write(QORSCAN_KEY_SCAN_BUSY, &varBusy);
        spBag->SetExecHandler(QORSCAN_CMDID_PREVIEW, [](DWORD, VARIANT*, VARIANT*) { return E_ABORT; });
        return S_OK;
    });
    EXPECT_EQ(S_OK, spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_PREVIEW, 0, nullptr, nullptr));
    EXPECT_EQ(E_ABORT, spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_PREVIEW, 0, nullptr, nullptr));
    EXPECT_EQ((std::vector<std::string>{"Exec 2205", "Write scan.busy = VT_BOOL true", "Exec 2205"}),
              spBag->CallTexts());
}

TEST(HostBagCommands, CallsAreRecordedWithGroupIdOptionsAndACopyOfTheInArgument)
{
    auto spBag = MakeBag();
    ATL::CComVariant varIn(u"job");
    EXPECT_EQ(S_OK, spBag->Exec(&CGID_ScanControl, QORSCAN_CMDID_SCAN, OLECMDEXECOPT_DONTPROMPTUSER, &varIn, nullptr));
    varIn = 5;  // the log keeps its own copy
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, spBag->Exec(nullptr, QORSCAN_CMDID_SCAN, 0, nullptr, nullptr));
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, spBag->Exec(&GUID_ScanSource, QORSCAN_CMDID_SCAN, 0, nullptr, nullptr));

    const auto vecCalls = spBag->CallsOf(HostBagCallKind::Exec);
    ASSERT_EQ(3u, vecCalls.size());
    ASSERT_TRUE(vecCalls[0].guid);
    EXPECT_TRUE(IsEqualGUID(CGID_ScanControl, *vecCalls[0].guid));
    EXPECT_EQ(2206u, vecCalls[0].dwId);
    EXPECT_EQ(static_cast<DWORD>(OLECMDEXECOPT_DONTPROMPTUSER), vecCalls[0].dwOptions);
    ASSERT_TRUE(vecCalls[0].value);
    EXPECT_TRUE(*vecCalls[0].value == ATL::CComVariant(u"job"));
    EXPECT_EQ(S_OK, vecCalls[0].hr);
    EXPECT_FALSE(vecCalls[1].guid);
    EXPECT_FALSE(vecCalls[1].value);
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, vecCalls[1].hr);
    EXPECT_EQ((std::vector<std::string>{"Exec 2206 in = VT_BSTR \"job\"", "Exec (null group) 2206",
                                        "Exec (foreign) 2206"}),
              spBag->CallTexts());
}

TEST(HostBagCommands, QueryStatusReportsEveryCommandOfTheGroupAsSupportedAndEnabled)
{
    auto spBag = MakeBag();
    OLECMD rgCmds[2] = {{QORSCAN_CMDID_PREVIEW, 0}, {QORSCAN_CMDID_CANCEL, 0}};
    struct {
        OLECMDTEXT text;
        WCHAR rgwzMore[7];
    } cmdText = {{OLECMDTEXTF_NAME, 5, 8, {u'x'}}, {}};
    EXPECT_EQ(S_OK, spBag->QueryStatus(&CGID_ScanControl, 2, rgCmds, &cmdText.text));
    EXPECT_EQ(static_cast<DWORD>(OLECMDF_SUPPORTED | OLECMDF_ENABLED), rgCmds[0].cmdf);
    EXPECT_EQ(static_cast<DWORD>(OLECMDF_SUPPORTED | OLECMDF_ENABLED), rgCmds[1].cmdf);
    EXPECT_EQ(0u, cmdText.text.cwActual);
    EXPECT_EQ(0, cmdText.text.rgwz[0]);

    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, spBag->QueryStatus(nullptr, 1, nullptr, nullptr));
    EXPECT_EQ(E_POINTER, spBag->QueryStatus(&CGID_ScanControl, 1, nullptr, nullptr));
    EXPECT_EQ((std::vector<std::string>{"QueryStatus 2205 2208", "QueryStatus (null group)", "QueryStatus"}),
              spBag->CallTexts());
}

// --- Job helpers

TEST(HostJob, TheLetterFlatbedJobWritesItsKeysInOrder)
{
    auto spBag = MakeBag();
    ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(spBag, u"/tmp/QORjob"));
    EXPECT_EQ((std::vector<std::string>{
                  "Write scan.init = VT_BOOL true", "Write scan.size = VT_UI4 8500x11000",
                  "Write scan.pos = VT_UI4 0x0", "Write scan.crop = VT_UI4 8500x11000", "Write scan.type = VT_I4 2",
                  "Write scan.sour = VT_I4 1", "Write scan.reso = VT_I4 300",
                  "Write scan.temp = VT_BSTR \"/tmp/QORjob\""}),
              spBag->CallTexts());
}

TEST(HostJob, WithoutATempFolderTheJobHasNoScanTempAndANullBagIsRefused)
{
    auto spBag = MakeBag();
    ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(spBag, nullptr));
    EXPECT_FALSE(spBag->GetValue(QORSCAN_KEY_SCAN_TEMP));
    ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(spBag, u""));
    EXPECT_FALSE(spBag->GetValue(QORSCAN_KEY_SCAN_TEMP));
    EXPECT_EQ(7u, spBag->KeyNames().size());
    EXPECT_EQ(E_POINTER, HostFillLetterFlatbedJob(nullptr, nullptr));
}

TEST(HostJob, FrameArraysHaveLowerBoundZeroAndMalformedArraysAreRejected)
{
    ATL::CComVariant varFrames = FrameArrayValue({QorScanMakePair(1, 2), QorScanMakePair(3, 4), 0xFFFFFFFFu});
    ASSERT_EQ(VT_ARRAY | VT_UI4, varFrames.vt);
    LONG lLower = -1;
    ASSERT_EQ(S_OK, ::SafeArrayGetLBound(varFrames.parray, 1, &lLower));
    EXPECT_EQ(0, lLower);
    EXPECT_EQ(3u, ArrayPairs(varFrames).size());

    ATL::CComVariant varEmpty = FrameArrayValue({});
    EXPECT_EQ(VT_ARRAY | VT_UI4, varEmpty.vt);
    EXPECT_TRUE(ArrayPairs(varEmpty).empty());

    std::vector<DWORD> vecPairs{7};
    EXPECT_EQ(E_INVALIDARG, HostReadFrameArray(PairValue(1, 2), vecPairs));
    EXPECT_TRUE(vecPairs.empty());
    ATL::CComVariant varLowerOne;
    varLowerOne.vt = VT_ARRAY | VT_UI4;
    varLowerOne.parray = ::SafeArrayCreateVector(VT_UI4, 1, 2);
    EXPECT_EQ(E_INVALIDARG, HostReadFrameArray(varLowerOne, vecPairs));
    ATL::CComVariant varShorts;
    varShorts.vt = VT_ARRAY | VT_UI4;  // a type that lies about its elements
    varShorts.parray = ::SafeArrayCreateVector(VT_UI2, 0, 2);
    EXPECT_EQ(E_INVALIDARG, HostReadFrameArray(varShorts, vecPairs));
    varShorts.vt = VT_ARRAY | VT_UI2;  // so that it is destroyed as what it is
    EXPECT_EQ(E_POINTER, HostMakeFrameArray({}, nullptr));
}

// Hand-made arrays that claim VT_UI4 with 16-byte elements, or that have bounds and no data,
// are bad arrays to the host's readers as well, its call log included. Formerly the log copied
// each 16-byte element into a 4-byte pair on the stack, and the reader read the missing data.
TEST(HostJob, HandMadeArraysOfTheWrongShapeAreRejectedByEveryReader)
{
    ATL::CComVariant varWide;
    varWide.vt = VT_ARRAY | VT_UI4;
    varWide.parray = ::SafeArrayCreateVector(VT_UI4, 0, 8);
    varWide.parray->cbElements = 16;
    varWide.parray->rgsabound[0].cElements = 2;
    ATL::CComVariant varNoData;
    ASSERT_EQ(S_OK, ::SafeArrayAllocDescriptorEx(VT_UI4, 1, &varNoData.parray));
    varNoData.vt = VT_ARRAY | VT_UI4;
    varNoData.parray->rgsabound[0] = {3, 0};
    for (const VARIANT* pVar : {&varWide, &varNoData}) {
        std::vector<DWORD> vecPairs{7};
        EXPECT_EQ(E_INVALIDARG, HostReadFrameArray(*pVar, vecPairs));
        EXPECT_TRUE(vecPairs.empty());
        EXPECT_EQ("VT_ARRAY|VT_UI4 <bad array>", FormatHostBagValue(*pVar));
    }
}

}  // namespace

// The message object checks what it is given before the host's handler sees anything.
TEST(HostMessage, DoMessageTakesItsFourArgumentsAndAnswersByReference)
{
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    int nShown = 0;
    {
        CHostMessageClass registration([&nShown](HWND, LPCWSTR pszText, UINT uType, LONG* pnAnswer) {
            ++nShown;
            *pnAnswer = std::u16string(pszText) == u"hi" && uType == MB_OK ? 1 : 2;
            return IDCANCEL;
        });
        ASSERT_EQ(S_OK, registration.Result());
        ATL::CComPtr<IDispatch> spMessage;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QORHostMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                         reinterpret_cast<void**>(&spMessage)));
        LPOLESTR rgszNames[1] = {const_cast<LPOLESTR>(u"Show")};
        DISPID dispid = 0;
        EXPECT_EQ(DISP_E_UNKNOWNNAME, spMessage->GetIDsOfNames(GUID_NULL, rgszNames, 1, 0, &dispid));
        rgszNames[0] = const_cast<LPOLESTR>(QORSCAN_MESSAGE_OBJECT_METHOD);
        ASSERT_EQ(S_OK, spMessage->GetIDsOfNames(GUID_NULL, rgszNames, 1, 0, &dispid));

        LONG nAnswer = 0;
        VARIANT rgvarg[4];  // last argument first
        for (VARIANT& var : rgvarg)
            VariantInit(&var);
        rgvarg[0].vt = VT_I4 | VT_BYREF;
        rgvarg[0].plVal = &nAnswer;
        rgvarg[1].vt = VT_UI4;
        rgvarg[1].ulVal = MB_OK;
        ATL::CComBSTR bstrText(u"hi");
        rgvarg[2].vt = VT_BSTR;
        rgvarg[2].bstrVal = bstrText;
        rgvarg[3].vt = VT_I4;
        DISPPARAMS params = {rgvarg, nullptr, 4, 0};
        ATL::CComVariant varResult;
        UINT uArgErr = 99;

        // Arguments out of order or missing reach no one.
        std::swap(rgvarg[1], rgvarg[2]);
        EXPECT_EQ(DISP_E_TYPEMISMATCH, spMessage->Invoke(dispid, GUID_NULL, 0, DISPATCH_METHOD, &params, &varResult,
                                                         nullptr, &uArgErr));
        EXPECT_EQ(1u, uArgErr);
        std::swap(rgvarg[1], rgvarg[2]);
        params.cArgs = 3;
        EXPECT_EQ(DISP_E_BADPARAMCOUNT,
                  spMessage->Invoke(dispid, GUID_NULL, 0, DISPATCH_METHOD, &params, &varResult, nullptr, nullptr));
        params.cArgs = 4;
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
                  spMessage->Invoke(dispid + 1, GUID_NULL, 0, DISPATCH_METHOD, &params, &varResult, nullptr, nullptr));
        EXPECT_EQ(0, nShown);

        ASSERT_EQ(S_OK, spMessage->Invoke(dispid, GUID_NULL, 0, DISPATCH_METHOD, &params, &varResult, nullptr, nullptr));
        EXPECT_EQ(1, nShown);
        EXPECT_EQ(1, nAnswer);
        EXPECT_EQ(ATL::CComVariant(IDCANCEL), varResult);
    }
    // Revoked with its registration.
    ATL::CComPtr<IDispatch> spGone;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_QORHostMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                                    reinterpret_cast<void**>(&spGone)));
    CoUninitialize();
}
