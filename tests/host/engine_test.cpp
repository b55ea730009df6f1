// The scan engine on SANE's test and pnm backends, driven as the control drives it: Exec of
// the bag's command target, notifications on a sink advised on the bag, keys in the bag.
#include <ScanEngine.h>
#include <Scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host_test_support.h"

// SANE's test backend loses a buffer of its reader thread when a frame ends early (a cancel, an
// injected error); that is the backend's, not the engine's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libsane-test.so\n";
}

namespace {

struct Received {
    std::string strKey;
    ATL::CComVariant value;
};

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());  // paths and keys of the tests are ASCII
}

// N of a ".../prev_N.jpg" path, -1 for any other path.
int PreviewNumber(const ATL::CComVariant& value)
{
    if (value.vt != VT_BSTR)
        return -1;
    const std::string strPath = Narrow(value.bstrVal);
    const size_t nAt = strPath.rfind("/prev_");
    int n = -1;
    return nAt != std::string::npos && std::sscanf(strPath.c_str() + nAt, "/prev_%d.jpg", &n) == 1 ? n : -1;
}

// Width and height from a JPEG file's frame header; 0 x 0 when there is none.
std::pair<int, int> JpegSize(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t i = 2;  // after the start-of-image marker
    while (i + 9 < bytes.size() && bytes[i] == 0xFF) {
        const unsigned char marker = bytes[i + 1];
        const size_t nLength = static_cast<size_t>(bytes[i + 2]) << 8 | bytes[i + 3];
        if (marker >= 0xC0 && marker <= 0xC2)
            return {bytes[i + 7] << 8 | bytes[i + 8], bytes[i + 5] << 8 | bytes[i + 6]};
        i += 2 + nLength;
    }
    return {0, 0};
}

class Engine : public ::testing::Test {
protected:
    void Start(ScanEngineSettings settings)
    {
        m_spBag = MakeBag();
        ASSERT_TRUE(m_spBag);
        m_spBag->SetForwarding(true);
        ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(m_spBag, nullptr));
        m_spSink = CTestSink::Create();
        m_spSink->m_fnOnNotify = [this](BSTR bstrName, VARIANT* pVar) {
            m_vecReceived.push_back(Received{Narrow(bstrName), pVar ? ATL::CComVariant(*pVar) : ATL::CComVariant()});
            if (m_fnOnReceived)
                m_fnOnReceived(m_vecReceived.back());
        };
        DWORD dwCookie = 0;
        ASSERT_EQ(S_OK, m_spBag->Advise(m_spSink, &dwCookie));
        m_pEngine = std::make_unique<CScanEngine>(settings);
        ASSERT_EQ(S_OK, m_pEngine->Attach(m_spBag));
    }

    void TearDown() override
    {
        m_pEngine.reset();
        if (m_spBag)
            m_spBag->ReleaseAllSinks();
    }

    static ScanEngineSettings TestBackend(std::vector<std::string> vecOptions = {})
    {
        ScanEngineSettings settings;
        settings.strDevice = "test:0";
        settings.vecDeviceOptions = std::move(vecOptions);
        return settings;
    }

    // Exec on the bag's command target, as the control passes a command on.
    HRESULT Exec(DWORD nCmd)
    {
        ATL::CComQIPtr<IOleCommandTarget> spTarget(m_spBag);
        return spTarget->Exec(&CGID_ScanControl, nCmd, 0, nullptr, nullptr);
    }

    void Set(LPCOLESTR pszKey, const ATL::CComVariant& value) { ASSERT_EQ(S_OK, m_spBag->SetValue(pszKey, value)); }

    std::vector<std::string> Keys() const
    {
        std::vector<std::string> vecKeys;
        for (const Received& r : m_vecReceived) vecKeys.push_back(r.strKey);
        return vecKeys;
    }

    std::vector<int> PreviewNumbers() const
    {
        std::vector<int> vecNumbers;
        for (const Received& r : m_vecReceived)
            if (r.strKey == "scan.temp.pre")
                vecNumbers.push_back(PreviewNumber(r.value));
        return vecNumbers;
    }

    bool BagBusy() const
    {
        const auto value = m_spBag->GetValue(QORSCAN_KEY_SCAN_BUSY);
        return value && value->vt == VT_BOOL && value->boolVal == VARIANT_TRUE;
    }

    std::string FinalFile() const { return m_pEngine->Folder() + "/prev_100.jpg"; }

    ATL::CComPtr<CHostPropertyBag> m_spBag;
    ATL::CComPtr<CTestSink> m_spSink;
    std::unique_ptr<CScanEngine> m_pEngine;
    std::vector<Received> m_vecReceived;
    std::function<void(const Received&)> m_fnOnReceived;
};

TEST_F(Engine, PreviewGrowsRowByRowThenDeliversTheWholePageThenGoesIdle)
{
    ScanEngineSettings settings = TestBackend();
    settings.nPreviewDpi = 100;
    Start(settings);
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
    EXPECT_TRUE(BagBusy());
    EXPECT_EQ(ATL::CComVariant(1), m_spBag->GetValue(QORSCAN_KEY_SCAN_PREVIEW).value_or(ATL::CComVariant()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BUSY), Exec(QORSCAN_CMDID_PREVIEW)) << "a second scan while one runs";
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));

    // Partial previews in increasing order, each holding the rows received so far, then the
    // whole page, then the end of the busy period, and nothing else.
    const std::vector<int> vecNumbers = PreviewNumbers();
    ASSERT_GE(vecNumbers.size(), 20u) << "partial previews as the rows arrive";
    EXPECT_EQ(100, vecNumbers.back());
    // The test backend's letter bed at 100 dpi; the backend rounds the pixel counts down.
    const auto size = JpegSize(FinalFile());
    EXPECT_NEAR(850, size.first, 1);
    EXPECT_NEAR(1100, size.second, 1);
    int nLastRows = 0;
    for (size_t i = 0; i + 1 < vecNumbers.size(); ++i) {
        ASSERT_GE(vecNumbers[i], 1);
        ASSERT_LT(vecNumbers[i], 100);
        if (i > 0) {
            ASSERT_LT(vecNumbers[i - 1], vecNumbers[i]);
        }
        const auto partial = JpegSize(m_pEngine->Folder() + "/prev_" + std::to_string(vecNumbers[i]) + ".jpg");
        EXPECT_EQ(size.first, partial.first);
        EXPECT_GT(partial.second, nLastRows);
        EXPECT_GE(partial.second, vecNumbers[i] * size.second / 99) << "prev_" << vecNumbers[i];
        EXPECT_LT(partial.second, size.second);
        nLastRows = partial.second;
    }
    std::vector<std::string> vecExpected(vecNumbers.size(), "scan.temp.pre");
    vecExpected.push_back("scan.busy");
    EXPECT_EQ(vecExpected, Keys());
    EXPECT_EQ(ATL::CComVariant(false), m_vecReceived.back().value);
    EXPECT_FALSE(BagBusy());
    EXPECT_FALSE(m_pEngine->IsBusy());
}

TEST_F(Engine, AWindowSlowerThanTheDeviceGetsFewerPartialPreviews)
{
    Start(TestBackend());
    m_fnOnReceived = [](const Received& r) {
        if (r.strKey == "scan.temp.pre")
            std::this_thread::sleep_for(std::chrono::milliseconds(40));  // a slow paint
    };
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
    const std::vector<int> vecNumbers = PreviewNumbers();
    ASSERT_GE(vecNumbers.size(), 2u);
    EXPECT_LT(vecNumbers.size(), 50u) << "no backlog of stale partial previews";
    EXPECT_TRUE(std::is_sorted(vecNumbers.begin(), vecNumbers.end()));
    EXPECT_EQ(100, vecNumbers.back());
}

// The errors come from the pnm backend (the scene's device): SANE's test backend can inject them
// too, but it cancels its reader thread asynchronously, and a cancel right after the start may
// catch that thread inside malloc and hang the process.
TEST_F(Engine, InjectedDeviceErrorsReachTheSinksAndTheEngineRecovers)
{
    Start(ScanEngineSettings());
    const struct {
        const char* pszOption;
        const char* pszText;
    } rgCases[] = {{"status-jammed=yes", "Document feeder jammed"},
                   {"status-nodocs=yes", "Document feeder out of documents"},
                   {"status-ioerror=yes", "Error during device I/O"}};
    for (const auto& c : rgCases) {
        SCOPED_TRACE(c.pszOption);
        m_vecReceived.clear();
        m_pEngine->SetDeviceOptions({c.pszOption});
        ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
        ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
        ASSERT_EQ((std::vector<std::string>{"scan.error", "scan.busy"}), Keys());
        ASSERT_EQ(VT_BSTR, m_vecReceived[0].value.vt);
        EXPECT_NE(std::string::npos, Narrow(m_vecReceived[0].value.bstrVal).find(c.pszText))
            << Narrow(m_vecReceived[0].value.bstrVal);
        EXPECT_FALSE(BagBusy());
        EXPECT_FALSE(std::filesystem::exists(FinalFile()));
    }
    // An option the device does not have fails the scan the same way.
    m_vecReceived.clear();
    m_pEngine->SetDeviceOptions({"no-such-option=1"});
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
    EXPECT_EQ((std::vector<std::string>{"scan.error", "scan.busy"}), Keys());
    // Without the injected error the next preview goes through.
    m_vecReceived.clear();
    m_pEngine->SetDeviceOptions({});
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
    ASSERT_FALSE(PreviewNumbers().empty());
    EXPECT_EQ(100, PreviewNumbers().back());
    EXPECT_EQ("scan.busy", Keys().back());
}

TEST_F(Engine, CancelMidScanEndsTheBusyPeriodWithoutAFinalPreview)
{
    // A slow device: 20 ms for each read. The sink cancels from inside a notification, and
    // starts the next preview from the notification that ends the busy period.
    Start(TestBackend({"read-delay=yes", "read-delay-duration=20000", "read-limit=yes", "read-limit-size=20000"}));
    bool bRestarted = false;
    HRESULT hrRestart = E_FAIL;
    m_fnOnReceived = [&](const Received& r) {
        if (bRestarted)
            return;
        if (r.strKey == "scan.temp.pre" && PreviewNumber(r.value) >= 5)
            m_pEngine->Cancel();
        if (r.strKey == "scan.busy") {
            bRestarted = true;
            EXPECT_FALSE(BagBusy());
            m_pEngine->SetDeviceOptions({});
            hrRestart = Exec(QORSCAN_CMDID_PREVIEW);
        }
    };
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
    EXPECT_EQ(S_OK, hrRestart);

    const std::vector<std::string> vecKeys = Keys();
    EXPECT_EQ(0, std::count(vecKeys.begin(), vecKeys.end(), "scan.error"));
    const size_t nFirstEnd = std::find(vecKeys.begin(), vecKeys.end(), "scan.busy") - vecKeys.begin();
    ASSERT_LT(nFirstEnd + 1, m_vecReceived.size());
    ASSERT_GE(nFirstEnd, 1u);
    const int nLastCancelled = PreviewNumber(m_vecReceived[nFirstEnd - 1].value);
    EXPECT_GE(nLastCancelled, 5);
    EXPECT_LT(nLastCancelled, 60) << "the scan stopped soon after the cancel";
    // The next preview went through.
    EXPECT_EQ(100, PreviewNumbers().back());
    EXPECT_EQ("scan.busy", vecKeys.back());
    EXPECT_FALSE(BagBusy());
}

// A cancel at any moment after the start: at once, after some of the worker's steps, after
// some reads. Formerly a cancel right after the start could reach SANE's test backend while
// its reader thread was still setting up, which hung the next scan (and whoever waited for
// it). Every preview must end its busy period, and the next one must go through.
TEST_F(Engine, ACancelAtAnyMomentEndsTheScanAndTheNextOneRuns)
{
    // Reads of 2000 bytes, 1 ms each: a letter page at 100 dpi takes over a thousand.
    Start(TestBackend({"read-delay=yes", "read-delay-duration=1000", "read-limit=yes", "read-limit-size=2000"}));
    for (int nCase = 0; nCase < 40; ++nCase) {
        SCOPED_TRACE(nCase);
        m_vecReceived.clear();
        ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
        // Cases 0 to 9 cancel before the worker ran at all or while it sets the device up,
        // the later ones a growing number of milliseconds into the reading.
        if (nCase >= 10)
            std::this_thread::sleep_for(std::chrono::microseconds(250 * (nCase - 10)));
        else
            for (int i = 0; i < nCase; ++i) std::this_thread::yield();
        m_pEngine->Cancel();
        ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000)) << "the cancelled scan did not end";
        EXPECT_EQ("scan.busy", Keys().back());
        const std::vector<int> vecNumbers = PreviewNumbers();
        EXPECT_EQ(vecNumbers.end(), std::find(vecNumbers.begin(), vecNumbers.end(), 100)) << "not cancelled";
        EXPECT_FALSE(BagBusy());
    }
    m_vecReceived.clear();
    m_pEngine->SetDeviceOptions({});
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
    ASSERT_FALSE(PreviewNumbers().empty());
    EXPECT_EQ(100, PreviewNumbers().back());
}

// A device that does not answer: the built-in scene's device reading a named pipe that nobody
// writes, so that SANE's start never returns. Formerly the engine's destructor waited for the
// job for ever; now the window thread gets its busy period ended and goes on, and the worker
// ends on its own once the device answers.
TEST_F(Engine, ADeviceThatDoesNotAnswerDoesNotHoldTheWindowThread)
{
    char szFolder[] = "/tmp/qor_engine_fifo_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szFolder));
    const std::string strPipe = std::string(szFolder) + "/scene.ppm";
    ASSERT_EQ(0, mkfifo(strPipe.c_str(), 0600));
    ScanEngineSettings settings;
    settings.strSceneFile = strPipe;
    settings.nStopTimeoutMs = 50;
    Start(settings);
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
    EXPECT_FALSE(m_pEngine->PumpUntilIdle(200)) << "the device should still be starting";
    m_pEngine->Cancel();
    m_pEngine.reset();
    EXPECT_EQ((std::vector<std::string>{"scan.busy"}), Keys());
    EXPECT_FALSE(BagBusy());

    // The device answers at last (with no picture): the old worker lets it go, and a new
    // engine scans the scene as usual once it is free.
    const int fdWriter = open(strPipe.c_str(), O_WRONLY);
    ASSERT_GE(fdWriter, 0);
    close(fdWriter);
    Start(ScanEngineSettings());
    for (int nTry = 0; nTry < 100; ++nTry) {
        m_vecReceived.clear();
        ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
        ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
        if (Keys().front() != "scan.error")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the old worker is still closing it
    }
    ASSERT_FALSE(PreviewNumbers().empty());
    EXPECT_EQ(100, PreviewNumbers().back());
    std::filesystem::remove_all(szFolder);
}

TEST_F(Engine, AScanTakesTheCropInMillimetresAtTheJobsResolution)
{
    Start(TestBackend());
    const struct {
        DWORD dwPos, dwCrop;
        int nType;
        double fLeft, fTop, fRight, fBottom;  // millimetres
        int nWidth, nHeight;                  // pixels at 100 dpi
    } rgCases[] = {
        // 1 x 2 inches from the corner, 4 x 3 inches large.
        {QorScanMakePair(1000, 2000), QorScanMakePair(4000, 3000), QORSCAN_TYPE_COLOR, 25.4, 50.8, 127.0, 127.0, 400, 300},
        // Black and white (one bit a pixel) at an odd place and size.
        {QorScanMakePair(350, 50), QorScanMakePair(1234, 567), QORSCAN_TYPE_BLACKWHITE, 8.89, 1.27, 40.2336, 15.6718, 123, 56},
        // A crop beyond the page's corner is cut to the page.
        {QorScanMakePair(8000, 10000), QorScanMakePair(2000, 2000), QORSCAN_TYPE_GREY, 203.2, 254.0, 215.9, 279.4, 50, 100},
    };
    for (const auto& c : rgCases) {
        SCOPED_TRACE(c.nWidth);
        Set(QORSCAN_KEY_SCAN_POS, ATL::CComVariant(static_cast<ULONG>(c.dwPos)));
        Set(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(static_cast<ULONG>(c.dwCrop)));
        Set(QORSCAN_KEY_SCAN_RESO, ATL::CComVariant(100));
        Set(QORSCAN_KEY_SCAN_TYPE, ATL::CComVariant(c.nType));
        ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_SCAN));
        EXPECT_EQ(ATL::CComVariant(0), m_spBag->GetValue(QORSCAN_KEY_SCAN_PREVIEW).value_or(ATL::CComVariant()));
        ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
        const ScanEngineArea area = m_pEngine->LastArea();
        EXPECT_TRUE(area.bDeviceGeometry);
        EXPECT_EQ(100, area.nDpi);
        const double fFixedStep = 1.0 / 65536;  // SANE's fixed-point unit
        EXPECT_NEAR(c.fLeft, area.fLeftMm, fFixedStep);
        EXPECT_NEAR(c.fTop, area.fTopMm, fFixedStep);
        EXPECT_NEAR(c.fRight, area.fRightMm, fFixedStep);
        EXPECT_NEAR(c.fBottom, area.fBottomMm, fFixedStep);
        // The backend rounds the pixel counts down from the millimetres.
        const auto size = JpegSize(FinalFile());
        EXPECT_NEAR(c.nWidth, size.first, 1);
        EXPECT_NEAR(c.nHeight, size.second, 1);
    }
}

TEST_F(Engine, AScanTooLargeToKeepIsAnErrorNotACrash)
{
    Start(ScanEngineSettings());  // the scene: the engine itself makes the resolution asked for
    Set(QORSCAN_KEY_SCAN_RESO, ATL::CComVariant(4800));  // 6 GB for the whole letter page
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_SCAN));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
    EXPECT_EQ((std::vector<std::string>{"scan.error", "scan.busy"}), Keys());
    EXPECT_FALSE(BagBusy());
}

TEST_F(Engine, AutomaticCropOfTheSceneFindsEachPhoto)
{
    Start(ScanEngineSettings());  // the built-in scene at 100 dpi
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
    ASSERT_EQ(100, PreviewNumbers().back());
    EXPECT_FALSE(m_pEngine->LastArea().bDeviceGeometry);

    // Within three preview pixels, 30 page units at 100 dpi.
    const LONG nTolerance = 30;
    m_vecReceived.clear();
    Set(QORSCAN_KEY_SCAN_AUTOCROP_MULTI, ATL::CComVariant(1));
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_AUTOCROP));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
    EXPECT_EQ((std::vector<std::string>{"scan.proc", "scan.busy"}), Keys());
    EXPECT_EQ(ATL::CComVariant(0), m_vecReceived[0].value);
    EXPECT_EQ(ATL::CComVariant(0), m_spBag->GetValue(QORSCAN_KEY_SCAN_PREVIEW).value_or(ATL::CComVariant()))
        << "an automatic crop is no preview";
    std::vector<DWORD> vecPos, vecSize;
    ASSERT_EQ(S_OK, HostReadFrameArray(m_spBag->GetValue(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY).value_or(ATL::CComVariant()), vecPos));
    ASSERT_EQ(S_OK, HostReadFrameArray(m_spBag->GetValue(QORSCAN_KEY_SCAN_MULTICROP_ARRAY).value_or(ATL::CComVariant()), vecSize));
    ASSERT_EQ(std::size(qorscene::kPhotos), vecPos.size()) << "the dust is no photo";
    ASSERT_EQ(vecPos.size(), vecSize.size());
    for (size_t i = 0; i < vecPos.size(); ++i) {
        const qorscene::Photo& photo = qorscene::kPhotos[i];
        SCOPED_TRACE(i);
        EXPECT_NEAR(photo.left, static_cast<LONG>(QorScanPairLow(vecPos[i])), nTolerance);
        EXPECT_NEAR(photo.top, static_cast<LONG>(QorScanPairHigh(vecPos[i])), nTolerance);
        EXPECT_NEAR(photo.width, static_cast<LONG>(QorScanPairLow(vecSize[i])), nTolerance);
        EXPECT_NEAR(photo.height, static_cast<LONG>(QorScanPairHigh(vecSize[i])), nTolerance);
    }

    // The single crop: one frame around all photos, which the forwarding bag passes on.
    m_vecReceived.clear();
    Set(QORSCAN_KEY_SCAN_AUTOCROP_MULTI, ATL::CComVariant(0));
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_AUTOCROP));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(20000));
    EXPECT_EQ((std::vector<std::string>{"scan.pos", "scan.crop", "scan.proc", "scan.busy"}), Keys());
    const DWORD dwPos = m_spBag->GetValue(QORSCAN_KEY_SCAN_POS).value_or(ATL::CComVariant()).ulVal;
    const DWORD dwCrop = m_spBag->GetValue(QORSCAN_KEY_SCAN_CROP).value_or(ATL::CComVariant()).ulVal;
    EXPECT_NEAR(700, static_cast<LONG>(QorScanPairLow(dwPos)), nTolerance);
    EXPECT_NEAR(800, static_cast<LONG>(QorScanPairHigh(dwPos)), nTolerance);
    EXPECT_NEAR(7800 - 700, static_cast<LONG>(QorScanPairLow(dwCrop)), nTolerance);
    EXPECT_NEAR(9200 - 800, static_cast<LONG>(QorScanPairHigh(dwCrop)), nTolerance);
}

}  // namespace
