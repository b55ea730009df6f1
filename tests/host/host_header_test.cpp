// The public header for hosts: its GUIDs and helpers, and its C binding meeting the C++ one
// across real calls in both directions (c_host.c is a host written in C).
#include <gtest/gtest.h>

#include <cstring>

#include "c_host.h"
#include "host_test_support.h"

namespace {

std::string GuidText(REFGUID guid)
{
    OLECHAR szGuid[39] = {};
    EXPECT_EQ(39, ::StringFromGUID2(guid, szGuid, 39));
    std::string text;
    for (const OLECHAR* p = szGuid; *p != 0; ++p)
        text += static_cast<char>(*p);
    return text;
}

TEST(QorScanHeader, TheGuidsAreThoseHostsAndTheRegistryUse)
{
    EXPECT_EQ("{7C3E9A52-7700-0000-0000-770000000001}", GuidText(CLSID_QORScan));
    EXPECT_EQ("{7C3E9A52-7700-7700-0000-770000000001}", GuidText(LIBID_QORScanLib));
    EXPECT_EQ("{7C3E9A52-7700-0000-0000-770000000007}", GuidText(CLSID_QORHostMessage));
    EXPECT_EQ("{00000000-0000-5542-1100-000000000069}", GuidText(GUID_ScanSource));
    EXPECT_EQ("{00000000-0000-4500-1100-000000000070}", GuidText(CGID_ScanControl));
    EXPECT_EQ("{7C3E9A52-7700-7700-7700-000000000001}", GuidText(IID_IQORAdvice));
    EXPECT_EQ("{7C3E9A52-7700-7700-7700-000000000000}", GuidText(IID_IQORNotify));
    EXPECT_TRUE(IsEqualGUID(IID_IQORNotify, __uuidof(IQORNotify)));
    EXPECT_TRUE(IsEqualGUID(IID_IQORAdvice, __uuidof(IQORAdvice)));
}

TEST(QorScanHeader, CSeesTheSameGuids)
{
    unsigned char rgbC[CHOST_GUID_COUNT][16];
    CHost_CopyGuids(rgbC);
    const GUID* rgpGuid[CHOST_GUID_COUNT] = {&CLSID_QORScan,   &LIBID_QORScanLib, &CLSID_QORHostMessage,
                                             &GUID_ScanSource, &CGID_ScanControl, &IID_IQORAdvice,
                                             &IID_IQORNotify};
    for (int i = 0; i < CHOST_GUID_COUNT; ++i)
        EXPECT_EQ(0, std::memcmp(rgbC[i], rgpGuid[i], 16)) << "GUID " << i;
}

TEST(QorScanHeader, PairsCutToSixteenBitsAndComeBackUnsigned)
{
    EXPECT_EQ(0x2AF82134u, QorScanMakePair(8500, 11000));
    EXPECT_EQ(0xFFFF2345u, QorScanMakePair(0x12345, 0x1FFFF));
    EXPECT_EQ(0x8000u, QorScanPairLow(0xFFFF8000u));
    EXPECT_EQ(0xFFFFu, QorScanPairHigh(0xFFFF8000u));
    const VARIANT var = QorScanPairVariant(100, 200);
    EXPECT_EQ(VT_UI4, var.vt);
    EXPECT_EQ(QorScanMakePair(100, 200), var.ulVal);
}

TEST(QorScanHeader, TheCVtablesHaveTheSlotsOfTheCppInterfaces)
{
    CHostLayout layout;
    CHost_GetLayout(&layout);
    EXPECT_EQ(sizeof(GUID), layout.cbGuid);
    EXPECT_EQ(sizeof(VARIANT), layout.cbVariant);
    EXPECT_EQ(0u, layout.offAdviseQueryInterface);
    EXPECT_EQ(3 * sizeof(void*), layout.offAdviseAdvise);
    EXPECT_EQ(4 * sizeof(void*), layout.offAdviseUnadvise);
    EXPECT_EQ(2 * sizeof(void*), layout.offNotifyRelease);
    EXPECT_EQ(3 * sizeof(void*), layout.offNotifyNotify);
    EXPECT_EQ(4 * sizeof(void*), layout.offNotifyNotifyWindow);
}

// A sink written in C, called through the C++ interface: the GUID passed by value, the BSTR
// and the VARIANT arrive where C expects them.
TEST(QorScanHeader, CppCallsASinkWrittenInC)
{
    void* pSinkMemory = CHost_CreateSink();
    ASSERT_NE(nullptr, pSinkMemory);
    {
        IQORNotify* pSink = static_cast<IQORNotify*>(pSinkMemory);
        ATL::CComQIPtr<IQORNotify> spNotify(pSink);
        ASSERT_TRUE(spNotify != nullptr);
        EXPECT_EQ(2, CHost_SinkRecord(pSink)->nRefs);

        ATL::CComBSTR bstrName(QORSCAN_KEY_SCAN_SIZE);
        VARIANT var = QorScanPairVariant(8500, 11000);
        EXPECT_EQ(S_OK, spNotify->Notify(GUID_ScanSource, bstrName, &var));
        EXPECT_EQ(S_OK, spNotify->NotifyWindow(reinterpret_cast<HWND>(0x4321), 1, -5));

        const CHostSinkRecord* pRecord = CHost_SinkRecord(pSink);
        EXPECT_EQ(1, pRecord->nNotifyCalls);
        EXPECT_EQ(0, std::memcmp(pRecord->rgbSource, &GUID_ScanSource, 16));
        EXPECT_STREQ("scan.size", pRecord->szName);
        EXPECT_FALSE(pRecord->bNullValue);
        EXPECT_EQ(VT_UI4, pRecord->vt);
        EXPECT_EQ(QorScanMakePair(8500, 11000), pRecord->ulVal);
        EXPECT_EQ(1, pRecord->nNotifyWindowCalls);
        EXPECT_EQ(reinterpret_cast<void*>(0x4321), pRecord->hWnd);
        EXPECT_EQ(1, pRecord->nCode);
        EXPECT_EQ(-5, pRecord->nParam);

        EXPECT_EQ(S_OK, spNotify->Notify(GUID_ScanSource, bstrName, nullptr));
        EXPECT_TRUE(CHost_SinkRecord(pSink)->bNullValue);
        pSink->Release();
    }
    EXPECT_EQ(0, CHost_SinkRecord(pSinkMemory)->nRefs);
    CHost_DestroySink(pSinkMemory);
}

// A host written in C drives the C++ bag through its vtables.
TEST(QorScanHeader, CDrivesTheCppBag)
{
    auto spBag = MakeBag();
    void* pSinkMemory = CHost_CreateSink();
    ASSERT_NE(nullptr, pSinkMemory);

    CHostDriveResult result;
    CHost_DriveBag(static_cast<IPropertyBag*>(spBag), pSinkMemory, &result);
    EXPECT_EQ(S_OK, result.hrQueryAdvice);
    EXPECT_EQ(S_OK, result.hrAdvise);
    EXPECT_EQ(1u, result.dwCookie);
    EXPECT_EQ(S_OK, result.hrQueryNotify);
    EXPECT_EQ(S_OK, result.hrNotify);
    EXPECT_EQ(S_OK, result.hrNotifyWindow);
    EXPECT_EQ(S_OK, result.hrUnadvise);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, result.hrUnadviseAgain);
    EXPECT_EQ((std::vector<std::string>{"Advise 1", "Notify scan.crop = VT_UI4 100x200", "NotifyWindow 1 7",
                                        "Unadvise 1", "Unadvise 1"}),
              spBag->CallTexts());
    EXPECT_EQ(reinterpret_cast<HWND>(0x1234), spBag->Calls()[2].hWnd);
    // The bag took a reference on the C sink and gave it back.
    EXPECT_EQ(1, CHost_SinkRecord(pSinkMemory)->nRefs);
    CHost_DestroySink(pSinkMemory);
}

TEST(QorScanHeader, TheBagForwardsJobKeysToASinkWrittenInC)
{
    auto spBag = MakeBag();
    spBag->SetForwarding(true);
    void* pSinkMemory = CHost_CreateSink();
    ASSERT_NE(nullptr, pSinkMemory);
    DWORD dwCookie = 0;
    ASSERT_EQ(S_OK, spBag->Advise(static_cast<IUnknown*>(pSinkMemory), &dwCookie));

    ATL::CComVariant varCrop = PairValue(2000, 3000);
    spBag->Write(QORSCAN_KEY_SCAN_CROP, &varCrop);
    const CHostSinkRecord* pRecord = CHost_SinkRecord(pSinkMemory);
    EXPECT_EQ(1, pRecord->nNotifyCalls);
    EXPECT_STREQ("scan.crop", pRecord->szName);
    EXPECT_EQ(QorScanMakePair(2000, 3000), pRecord->ulVal);
    EXPECT_EQ(0, std::memcmp(pRecord->rgbSource, &GUID_ScanSource, 16));

    spBag->Unadvise(dwCookie);
    EXPECT_EQ(1, CHost_SinkRecord(pSinkMemory)->nRefs);
    CHost_DestroySink(pSinkMemory);
}

}  // namespace
