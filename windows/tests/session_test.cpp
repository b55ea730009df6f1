// A whole session of a host on a real window: the control created through the registry and
// sited, a job bound, a preview scan of JPEG files announced through Notify as an engine does,
// a frame drawn with mouse messages and read back from the bag, a turn of the page, and
// everything let go. Pixels are read back from the window, so this needs a display (Xvfb).
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleidl.h>
#include <gdiplus.h>
#include <atlbase.h>

#include <QORScan.h>
#include <HostJob.h>
#include <HostPropertyBag.h>
#include <HostSite.h>

#include <module_host_test.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// GDI+'s JPEG encoder.
const CLSID kJpegEncoder = {0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
// The grey of the scanned page, well apart from the light sample page shown before a scan.
const BYTE kPageGrey = 96;

// A folder of its own under the temporary path, removed with what is left in it.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* pszName)
    {
        wchar_t szTemp[MAX_PATH];
        GetTempPathW(MAX_PATH, szTemp);
        m_strPath = std::wstring(szTemp) + pszName + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_strPath.c_str(), nullptr);
    }
    ~TempFolder()
    {
        for (const std::wstring& strName : Files())
            DeleteFileW((m_strPath + L"\\" + strName).c_str());
        RemoveDirectoryW(m_strPath.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_strPath; }
    std::vector<std::wstring> Files() const
    {
        std::vector<std::wstring> vecNames;
        WIN32_FIND_DATAW data;
        HANDLE hFind = FindFirstFileW((m_strPath + L"\\*").c_str(), &data);
        if (hFind == INVALID_HANDLE_VALUE)
            return vecNames;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                vecNames.push_back(data.cFileName);
        } while (FindNextFileW(hFind, &data));
        FindClose(hFind);
        return vecNames;
    }

private:
    std::wstring m_strPath;
};

// A page as the engine scans it at 100 dpi: grey, rows 0 to cyRows of a letter page.
bool WriteScanJpeg(const std::wstring& strPath, int cyRows)
{
    Gdiplus::Bitmap bitmap(850, cyRows, PixelFormat24bppRGB);
    Gdiplus::Graphics graphics(&bitmap);
    Gdiplus::SolidBrush brush(Gdiplus::Color(kPageGrey, kPageGrey, kPageGrey));
    graphics.FillRectangle(&brush, 0, 0, 850, cyRows);
    return bitmap.Save(strPath.c_str(), &kJpegEncoder, nullptr) == Gdiplus::Ok;
}

class SessionTest : public ModuleHostTest {
protected:
    static void SetUpTestSuite()
    {
        RegisterModule("QORScan.dll");
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&s_gdiplusToken, &input, nullptr));
    }
    static void TearDownTestSuite()
    {
        Gdiplus::GdiplusShutdown(s_gdiplusToken);
        ModuleHostTest::TearDownTestSuite();
    }

    void SetUp() override
    {
        ModuleHostTest::SetUp();
        // The pointer stays off the window, so that no real mouse move joins the posted ones.
        SetCursorPos(1000, 760);
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                                         reinterpret_cast<void**>(&m_spControl)));
        m_site.emplace(m_hWndView);
        ASSERT_EQ(S_OK, m_spControl->SetSite(&*m_site));
        ASSERT_EQ(S_OK, CHostPropertyBag::CreateInstance(&m_spHostBag));
        m_spHostBag->SetForwarding(true);
        ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(m_spHostBag, m_temp.Path().c_str()));
        // The crop is the top half of the page: the lower half is bare paper to draw on.
        ASSERT_EQ(S_OK, m_spHostBag->SetValue(QORSCAN_KEY_SCAN_CROP,
                                              QorScanPairVariant(HOST_LETTER_WIDTH, HOST_LETTER_HEIGHT / 2)));
        ATL::CComQIPtr<IPersistPropertyBag> spPersist(m_spControl);
        ASSERT_TRUE(SUCCEEDED(spPersist->Load(m_spHostBag, nullptr)));
        Pump();
    }
    void TearDown() override
    {
        if (m_spControl) {
            ATL::CComQIPtr<IPersistPropertyBag>(m_spControl)->Load(nullptr, nullptr);
            m_spControl->SetSite(nullptr);
            m_spControl.Release();
        }
        if (m_spHostBag)
            m_spHostBag->ReleaseAllSinks();
        m_spHostBag.Release();
        ModuleHostTest::TearDown();
    }

    static void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The window as the screen shows it: painted, then read back through its device context.
    COLORREF PixelAt(int x, int y)
    {
        RedrawWindow(m_hWndView, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        HDC hdc = GetDC(m_hWndView);
        const COLORREF color = GetPixel(hdc, x, y);
        ReleaseDC(m_hWndView, hdc);
        return color;
    }
    static bool IsPageGrey(COLORREF color)
    {
        // JPEG keeps a flat grey within a few levels; the view's scaling adds nothing to a flat area.
        const auto isNear = [](BYTE level) { return level + 6 >= kPageGrey && level <= kPageGrey + 6; };
        return isNear(GetRValue(color)) && isNear(GetGValue(color)) && isNear(GetBValue(color));
    }

    HRESULT Notify(LPCOLESTR pszKey, const VARIANT& var)
    {
        VARIANT copy = var;
        return ATL::CComQIPtr<IQORNotify>(m_spControl)->Notify(GUID_ScanSource, ATL::CComBSTR(pszKey), &copy);
    }
    HRESULT Exec(DWORD nCmdID)
    {
        return ATL::CComQIPtr<IOleCommandTarget>(m_spControl)->Exec(&CGID_ScanControl, nCmdID, 0, nullptr, nullptr);
    }
    // A preview scan as the engine runs it: two partial previews growing row by row, then the
    // final one and the end of the busy period.
    void PreviewScan()
    {
        ASSERT_EQ(S_OK, m_spHostBag->SetValue(QORSCAN_KEY_SCAN_PREVIEW, ATL::CComVariant(1)));
        ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
        ASSERT_EQ(S_OK, Notify(QORSCAN_KEY_SCAN_BUSY, ATL::CComVariant(true)));
        for (const auto& [nFile, cyRows] : {std::pair{1, 300}, std::pair{2, 700}, std::pair{100, 1100}}) {
            const std::wstring strPath = m_engine.Path() + L"\\prev_" + std::to_wstring(nFile) + L".jpg";
            ASSERT_TRUE(WriteScanJpeg(strPath, cyRows));
            ASSERT_EQ(S_OK, Notify(QORSCAN_KEY_SCAN_TEMP_PRE, ATL::CComVariant(strPath.c_str())));
            Pump();
        }
        ASSERT_EQ(S_OK, Notify(QORSCAN_KEY_SCAN_BUSY, ATL::CComVariant(false)));
        Pump();
    }
    // A press, two moves and a release, in client coordinates of the view. The moves and the
    // release are posted first: the press starts the tracker's own message loop, which takes them.
    void Drag(POINT ptFrom, POINT ptTo)
    {
        const POINT ptMid = {(ptFrom.x + ptTo.x) / 2, (ptFrom.y + ptTo.y) / 2};
        PostMessageW(m_hWndView, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(ptMid.x, ptMid.y));
        PostMessageW(m_hWndView, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(ptTo.x, ptTo.y));
        PostMessageW(m_hWndView, WM_LBUTTONUP, 0, MAKELPARAM(ptTo.x, ptTo.y));
        SendMessageW(m_hWndView, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(ptFrom.x, ptFrom.y));
        Pump();
    }
    std::vector<DWORD> FrameArray(LPCOLESTR pszKey)
    {
        std::vector<DWORD> vecPairs;
        const auto value = m_spHostBag->GetValue(pszKey);
        if (value) {
            EXPECT_EQ(S_OK, HostReadFrameArray(*value, vecPairs)) << pszKey;
        }
        return vecPairs;
    }
    // Keeps the session on the screen for a picture of it, when the environment asks for one.
    void HoldForPicture()
    {
        const char* pszHold = std::getenv("QOR_SESSION_HOLD_MS");
        const DWORD dwEnd = GetTickCount() + (pszHold != nullptr ? std::strtoul(pszHold, nullptr, 10) : 0);
        while (static_cast<LONG>(dwEnd - GetTickCount()) > 0) {
            Pump();
            Sleep(20);
        }
    }

    static inline ULONG_PTR s_gdiplusToken = 0;
    TempFolder m_temp{L"qor_session_temp_"};
    TempFolder m_engine{L"qor_session_engine_"};
    std::optional<CHostSite> m_site;  // made once the view window exists
    ATL::CComPtr<IObjectWithSite> m_spControl;
    ATL::CComPtr<CHostPropertyBag> m_spHostBag;
};

TEST_F(SessionTest, PreviewFrameTurnAndLetGo)
{
    // The view is 640 x 480; the letter page fills its height from the left edge: 371 x 480
    // view pixels, 22.9 page units to the pixel. The crop frame is its top half.
    const POINT ptInCrop = {150, 120};
    EXPECT_FALSE(IsPageGrey(PixelAt(ptInCrop.x, ptInCrop.y))) << "the sample page before a scan";

    PreviewScan();
    // The scanned grey inside the crop frame (the top half); the paper outside it is veiled.
    EXPECT_TRUE(IsPageGrey(PixelAt(ptInCrop.x, ptInCrop.y))) << std::hex << PixelAt(ptInCrop.x, ptInCrop.y);
    const COLORREF colorVeiled = PixelAt(ptInCrop.x, 400);
    EXPECT_GT(GetGValue(colorVeiled), kPageGrey + 40) << std::hex << colorVeiled;
    const auto vecExecs = m_spHostBag->CallTexts(HostBagCallKind::Exec);
    ASSERT_EQ(1u, vecExecs.size());
    EXPECT_NE(std::string::npos, vecExecs[0].find("2205")) << vecExecs[0];

    // A new frame dragged out on the bare lower half: 120 view pixels, about 2750 page units.
    Drag({150, 300}, {270, 420});
    const std::vector<DWORD> vecPositions = FrameArray(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY);
    const std::vector<DWORD> vecSizes = FrameArray(QORSCAN_KEY_SCAN_MULTICROP_ARRAY);
    ASSERT_EQ(2u, vecPositions.size());
    ASSERT_EQ(2u, vecSizes.size());
    EXPECT_EQ(QorScanMakePair(0, 0), vecPositions[0]);
    // Sizes come back counting both edges, one unit more than the bag's.
    EXPECT_EQ(QorScanMakePair(HOST_LETTER_WIDTH + 1, HOST_LETTER_HEIGHT / 2 + 1), vecSizes[0]);
    EXPECT_GT(QorScanPairHigh(vecPositions[1]), HOST_LETTER_HEIGHT / 2);
    for (const DWORD dwExtent : {QorScanPairLow(vecSizes[1]), QorScanPairHigh(vecSizes[1])}) {
        EXPECT_GT(dwExtent, 2650u);
        EXPECT_LT(dwExtent, 2850u);
    }

    // A turn to the right: the bag learns the orientation and the frames stay two.
    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_ROTATE_RIGHT));
    Pump();
    const auto rotate = m_spHostBag->GetValue(QORSCAN_KEY_SCAN_ROTATE);
    ASSERT_TRUE(rotate.has_value());
    EXPECT_EQ(90, rotate->lVal);
    EXPECT_EQ(2u, FrameArray(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY).size());
    // The page is landscape now, 621 x 480 view pixels; the crop, its old top half, is on the right.
    EXPECT_TRUE(IsPageGrey(PixelAt(470, 240))) << std::hex << PixelAt(470, 240);
    EXPECT_FALSE(IsPageGrey(PixelAt(150, 60))) << "the old lower half, outside every frame";
    HoldForPicture();

    // Letting go: the bag unbound and the job's temporary folder emptied, the window given back.
    ASSERT_TRUE(SUCCEEDED(ATL::CComQIPtr<IPersistPropertyBag>(m_spControl)->Load(nullptr, nullptr)));
    EXPECT_FALSE(m_spHostBag->GetValue(QORSCAN_KEY_SCAN_PAGE).has_value());
    EXPECT_EQ(std::vector<std::wstring>{}, m_temp.Files());
    ASSERT_EQ(S_OK, m_spControl->SetSite(nullptr));
    EXPECT_EQ(0u, m_site->References());
    m_spControl.Release();
    EXPECT_EQ(S_OK, CallExport("DllCanUnloadNow"));
}

}  // namespace
