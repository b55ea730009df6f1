// The property-bag protocol: binding to the host bag (Load), the page geometry and frames
// taken from it, the crop-as-page switch, unbinding, Save, and writes on the control.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "control_test_support.h"

namespace {

using ControlBag = controltest::HostBagTest;
using Texts = std::vector<std::string>;

ATL::CComVariant PairArray(std::initializer_list<DWORD> pairs, LONG lLower = 0)
{
    SAFEARRAYBOUND bound = {static_cast<ULONG>(pairs.size()), lLower};
    SAFEARRAY* psa = ::SafeArrayCreate(VT_UI4, 1, &bound);
    LONG i = lLower;
    for (DWORD dw : pairs) {
        ::SafeArrayPutElement(psa, &i, &dw);
        ++i;
    }
    ATL::CComVariant var;
    var.vt = VT_ARRAY | VT_UI4;
    var.parray = psa;
    return var;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(ControlBag, LoadBindsReadsTheGeometryAndMarksThePage)
{
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_SIZE, ATL::CComVariant(QorScanMakePair(8500, 9000))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_POS, ATL::CComVariant(QorScanMakePair(100, 200))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(QorScanMakePair(4000, 5000))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_TYPE, ATL::CComVariant(QORSCAN_TYPE_BLACKWHITE)));
    auto spPersist = Query<IPersistPropertyBag>();
    EXPECT_EQ(S_FALSE, spPersist->Load(m_pBag, nullptr)) << "a successful redraw";
    EXPECT_EQ((Texts{"Advise 1", "Read scan.size", "Read scan.pos", "Read scan.crop", "Read scan.multipos.array",
                     "Read scan.multicrop.array", "Read scan.type", "Write scan.page = VT_UI4 1x0"}),
              m_pBag->CallTexts());
    EXPECT_TRUE(SameRect(RECT{0, 0, 8500, 9000}, m_pControl->m_rcPage));
    EXPECT_TRUE(SameRect(RECT{100, 200, 4100, 5200}, m_pControl->m_rcCrop));
    EXPECT_FLOAT_EQ(9000.0f / 8500.0f, m_pControl->m_fPageAspect);
    EXPECT_FALSE(m_pControl->m_bPageLandscape);
    EXPECT_EQ(1, m_pControl->m_nColorMode);

    // The control's Read goes to the bound bag; the bag's notifications reach it as a sink.
    ATL::CComVariant var;
    EXPECT_EQ(S_OK, Query<IPropertyBag>()->Read(QORSCAN_KEY_SCAN_SIZE, &var, nullptr));
    EXPECT_EQ(QorScanMakePair(8500, 9000), var.ulVal);
    m_pBag->ClearCalls();
    Query<IPropertyBag>()->Write(QORSCAN_KEY_SCAN_POS, nullptr);
    EXPECT_EQ((Texts{"Notify scan.pos = null"}), m_pBag->CallTexts());
}

// Binding a landscape page while the control sits on its window used to recurse until the
// stack ran out: a scroll bar shown by the layout resized the client area, whose WM_SIZE laid
// the page out again and hid the bar, and so on.
TEST_F(ControlBag, ALandscapePageOnTheWindowSettlesItsScrollBars)
{
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_SIZE, ATL::CComVariant(QorScanMakePair(9000, 8500))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(QorScanMakePair(900, 850))));
    EXPECT_TRUE(SUCCEEDED(Query<IPersistPropertyBag>()->Load(m_pBag, nullptr)));
    EXPECT_TRUE(m_pControl->m_bLandscape);
    HWND hwnd = nullptr;
    ASSERT_EQ(S_OK, Query<IOleWindow>()->GetWindow(&hwnd));
    const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
    for (int nBar : {SB_HORZ, SB_VERT}) {
        SCROLLINFO si = {sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        ::GetScrollInfo(hwnd, nBar, &si);
        const bool shown = (style & (nBar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL)) != 0;
        EXPECT_EQ(shown, si.nMax > 0) << "a shown bar has a range, a hidden one none: bar " << nBar;
    }
    Query<IPersistPropertyBag>()->Load(nullptr, nullptr);
}

TEST_F(ControlBag, ALandscapeSizeAndAKnownGeometryIsNotReadAgain)
{
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_SIZE, ATL::CComVariant(QorScanMakePair(9000, 8500))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(QorScanMakePair(900, 850))));
    // Detached: the geometry is taken without a layout, and the result is plain S_OK.
    ASSERT_EQ(S_OK, Query<IObjectWithSite>()->SetSite(nullptr));
    auto spPersist = Query<IPersistPropertyBag>();
    EXPECT_EQ(S_OK, spPersist->Load(m_pBag, nullptr));
    EXPECT_TRUE(m_pControl->m_bPageLandscape);
    EXPECT_TRUE(m_pControl->m_bLandscape);

    CHostPropertyBag* pSecond = nullptr;
    ASSERT_EQ(S_OK, CHostPropertyBag::CreateInstance(&pSecond));
    m_pBag->ClearCalls();
    spPersist->Load(pSecond, nullptr);
    EXPECT_EQ((Texts{"Unadvise 1"}), m_pBag->CallTexts()) << "rebinding clears no keys";
    EXPECT_EQ((Texts{"Advise 1"}), pSecond->CallTexts()) << "no geometry read, no page mark";
    spPersist->Load(nullptr, nullptr);
    pSecond->Release();
}

TEST_F(ControlBag, UnbindingClearsTheJobKeysInOrder)
{
    auto spPersist = Query<IPersistPropertyBag>();
    spPersist->Load(m_pBag, nullptr);
    m_pBag->ClearCalls();
    EXPECT_EQ(S_FALSE, spPersist->Load(nullptr, nullptr));
    EXPECT_EQ((Texts{"Unadvise 1", "Write scan.ocr = null", "Write scan.page = null", "Write scan.rotate = null",
                     "Write scan.flip = null", "Write scan.multipos.array = null",
                     "Write scan.multicrop.array = null", "Write scan.temp.pre = VT_BSTR \"\"", "Read scan.temp"}),
              m_pBag->CallTexts());
    ATL::CComVariant var;
    EXPECT_EQ(E_NOINTERFACE, Query<IPropertyBag>()->Read(QORSCAN_KEY_SCAN_SIZE, &var, nullptr));
    EXPECT_TRUE(m_pBag->AdviseCookies().empty());
}

// A host bag that unbinds the control from inside one of the control's calls on it. Formerly
// the control went on through its pointer to the bag, which the nested Load(null) had emptied:
// a call through a null pointer (the protocol fuzzer found it in Load's geometry reads). The
// nested unbinding stands; a Load it interrupted writes nothing more into the bag.
TEST_F(ControlBag, ABagThatUnbindsTheControlFromInsideItsCallsBreaksNothing)
{
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_SIZE, ATL::CComVariant(QorScanMakePair(8500, 11000))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(QorScanMakePair(8500, 11000))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_AUTOCROP_SINGLE, ATL::CComVariant(1)));
    auto spPersist = Query<IPersistPropertyBag>();
    const auto bind = [&] { spPersist->Load(m_pBag, nullptr); };
    const struct {
        const char* pszWhat;
        bool bLoad;            // the call is the binding itself (else the control is bound first)
        HostBagCallKind kind;  // the first call of this kind unbinds
        std::function<void()> fnDo;
    } rgCases[] = {
        {"binding, at the Advise", true, HostBagCallKind::Advise, bind},
        {"binding, at the first Read", true, HostBagCallKind::Read, bind},
        {"a turn's report", false, HostBagCallKind::Read,
         [&] { Query<IOleCommandTarget>()->Exec(&CGID_ScanControl, QORSCAN_CMDID_ROTATE_RIGHT, 0, nullptr, nullptr); }},
        {"a frame report", false, HostBagCallKind::Write, [&] { m_pControl->ReportFrames(-1); }},
        {"the automatic crop's request", false, HostBagCallKind::Read,
         [&] { ::SendMessageW(m_hWndChild, g_uMsgGetCrop, 0, 0); }},
    };
    for (const auto& c : rgCases) {
        SCOPED_TRACE(c.pszWhat);
        m_pControl->m_rcPage = m_pControl->m_rcCrop = RECT{};  // so that a Load reads the geometry
        if (!c.bLoad)
            bind();
        bool bUnbound = false;
        m_pBag->SetCallHook([&](const CHostBagCall& call) {
            if (call.kind == c.kind && !bUnbound) {
                bUnbound = true;
                spPersist->Load(nullptr, nullptr);
                m_pBag->ClearCalls();
            }
        });
        c.fnDo();
        m_pBag->SetCallHook(nullptr);
        EXPECT_TRUE(bUnbound);
        EXPECT_EQ(nullptr, m_pControl->m_spPropertyBag);
        EXPECT_TRUE(m_pBag->AdviseCookies().empty());
        for (const std::string& strCall : m_pBag->CallTexts()) {
            if (c.bLoad) {
                EXPECT_EQ(0u, strCall.rfind("Read", 0)) << "after the unbinding: " << strCall;
            }
        }
    }
}

TEST_F(ControlBag, UnbindingEmptiesTheJobsTemporaryFolder)
{
    char szPattern[] = "/tmp/qor_control_temp_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szPattern));
    const std::filesystem::path folder = szPattern;
    std::ofstream(folder / "page.jpg") << "x";
    std::u16string strFolder;
    for (char ch : folder.string())
        strFolder += static_cast<char16_t>(ch);
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_TEMP, ATL::CComVariant(strFolder.c_str())));
    auto spPersist = Query<IPersistPropertyBag>();
    spPersist->Load(m_pBag, nullptr);
    EXPECT_TRUE(std::filesystem::exists(folder / "page.jpg")) << "binding deletes nothing";
    spPersist->Load(nullptr, nullptr);
    EXPECT_FALSE(std::filesystem::exists(folder / "page.jpg"));
    EXPECT_TRUE(std::filesystem::exists(folder)) << "the folder itself stays";
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

TEST_F(ControlBag, FramesComeOnlyFromTwoValidArraysOfTheSameLength)
{
    auto spPersist = Query<IPersistPropertyBag>();
    const ATL::CComVariant varTwo = PairArray({QorScanMakePair(10, 20), QorScanMakePair(30, 40)});
    const ATL::CComVariant varThree = PairArray({1, 2, 3});
    struct Case {
        const char* name;
        ATL::CComVariant pos;
        ATL::CComVariant size;
    } cases[] = {
        {"empty arrays", PairArray({}), PairArray({})},
        {"different lengths", varThree, varTwo},
        {"lower bound 1", PairArray({1, 2}, 1), varTwo},
        {"not an array", ATL::CComVariant(7u), varTwo},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, c.pos));
        ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_MULTICROP_ARRAY, c.size));
        spPersist->Load(m_pBag, nullptr);
        EXPECT_TRUE(m_pControl->m_vecFrames.empty()) << c.name;
    }
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY,
                                     PairArray({QorScanMakePair(10, 20), QorScanMakePair(30, 40), QorScanMakePair(50, 60)})));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_MULTICROP_ARRAY,
                                     PairArray({QorScanMakePair(1, 2), QorScanMakePair(3, 4), QorScanMakePair(5, 6)})));
    spPersist->Load(m_pBag, nullptr);
    ASSERT_EQ(3u, m_pControl->m_vecFrames.size());
    EXPECT_TRUE(SameRect(RECT{10, 20, 11, 22}, m_pControl->m_vecFrames[0]));
    EXPECT_TRUE(SameRect(RECT{50, 60, 55, 66}, m_pControl->m_vecFrames[2]));
    spPersist->Load(nullptr, nullptr);
}

// A host's hand-made frame arrays whose elements claim VT_UI4 but are 16 bytes wide give no
// frames. Formerly they passed the array test, and each element was copied whole into a
// 4-byte pair on the stack.
TEST_F(ControlBag, FrameArraysOfWideElementsGiveNoFrames)
{
    auto spPersist = Query<IPersistPropertyBag>();
    const std::vector<DWORD> positions = {QorScanMakePair(10, 20), QorScanMakePair(30, 40)};
    const std::vector<DWORD> sizes = {QorScanMakePair(1, 2), QorScanMakePair(3, 4)};
    for (const ULONG cbElement : {16u, 8u}) {
        controltest::CHandMadeArrayBag bag(m_pBag, positions, sizes, cbElement);
        spPersist->Load(&bag, nullptr);
        EXPECT_TRUE(m_pControl->m_vecFrames.empty()) << cbElement;
        spPersist->Load(nullptr, nullptr);
    }
    // The same arrays of 4-byte elements are taken.
    controltest::CHandMadeArrayBag bag(m_pBag, positions, sizes, sizeof(DWORD));
    spPersist->Load(&bag, nullptr);
    ASSERT_EQ(2u, m_pControl->m_vecFrames.size());
    EXPECT_TRUE(SameRect(RECT{30, 40, 33, 44}, m_pControl->m_vecFrames[1]));
    spPersist->Load(nullptr, nullptr);
}

// Style 0: a portrait crop of a landscape page becomes the page and the old page is kept; a
// landscape crop does so only while partial previews are shown.
TEST_F(ControlBag, CropAsPageSwitch)
{
    ATL::CComVariant varStyle(0u);
    Query<IPropertyBag>()->Write(QORSCAN_KEY_BASE_STYLE, &varStyle);
    m_pControl->m_bSampleShown = false;
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_SIZE, ATL::CComVariant(QorScanMakePair(11000, 8500))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_POS, ATL::CComVariant(QorScanMakePair(100, 200))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(QorScanMakePair(4000, 6000))));
    auto spPersist = Query<IPersistPropertyBag>();
    spPersist->Load(m_pBag, nullptr);
    EXPECT_TRUE(SameRect(RECT{0, 0, 4000, 6000}, m_pControl->m_rcPage));
    EXPECT_TRUE(SameRect(RECT{0, 0, 4000, 6000}, m_pControl->m_rcCrop));
    EXPECT_TRUE(SameRect(RECT{0, 0, 11000, 8500}, m_pControl->m_rcPageSaved));
    EXPECT_TRUE(SameRect(RECT{100, 200, 4100, 6200}, m_pControl->m_rcCropSaved));
    EXPECT_FALSE(m_pControl->m_bLandscape);
    EXPECT_FLOAT_EQ(1.5f, m_pControl->m_fPageAspect);

    spPersist->Load(nullptr, nullptr);
    m_pControl->m_rcPage = m_pControl->m_rcPageSaved = RECT{0, 0, 0, 0};
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_POS, ATL::CComVariant(QorScanMakePair(0, 0))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(QorScanMakePair(6000, 4000))));
    spPersist->Load(m_pBag, nullptr);
    EXPECT_TRUE(SameRect(RECT{0, 0, 11000, 8500}, m_pControl->m_rcPage));
    EXPECT_TRUE(::IsRectEmpty(&m_pControl->m_rcPageSaved));
    EXPECT_TRUE(m_pControl->m_bLandscape) << "follows the crop";

    m_pControl->m_bPartialPreview = true;
    m_pControl->m_rcPage = RECT{0, 0, 0, 0};
    spPersist->Load(m_pBag, nullptr);
    EXPECT_TRUE(SameRect(RECT{0, 0, 6000, 4000}, m_pControl->m_rcPage));
    EXPECT_FALSE(m_pControl->m_bLandscape);
}

TEST_F(ControlBag, SaveCopiesTheJobKeysInOrderThroughTheControlsRead)
{
    CHostPropertyBag* pTarget = nullptr;
    ASSERT_EQ(S_OK, CHostPropertyBag::CreateInstance(&pTarget));
    auto spPersist = Query<IPersistPropertyBag>();
    EXPECT_EQ(E_INVALIDARG, spPersist->Save(nullptr, TRUE, TRUE));
    // Unbound: nothing to copy.
    EXPECT_EQ(S_OK, spPersist->Save(pTarget, TRUE, TRUE));
    EXPECT_TRUE(pTarget->Calls().empty());

    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(QorScanMakePair(300, 400))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_NAME, ATL::CComVariant(u"job")));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_POS, ATL::CComVariant(QorScanMakePair(1, 2))));
    ASSERT_EQ(S_OK, m_pBag->SetValue(u"scan.ocr", ATL::CComVariant(1)));
    Bind();
    EXPECT_EQ(S_OK, spPersist->Save(pTarget, FALSE, FALSE));
    EXPECT_EQ((Texts{"Write scan.name = VT_BSTR \"job\"", "Write scan.crop = VT_UI4 300x400"}), pTarget->CallTexts());
    EXPECT_EQ((Texts{"Read scan.name", "Read scan.prof", "Read scan.temp", "Read scan.type", "Read scan.size",
                     "Read scan.crop", "Read scan.sour", "Read scan.reso", "Read scan.type.array",
                     "Read scan.size.array", "Read scan.sour.array", "Read scan.reso.array",
                     "Read scan.multipos.array", "Read scan.multicrop.array"}),
              m_pBag->CallTexts());
    pTarget->Release();
}

}  // namespace
