// The control's reports into the host bag: the crop and frame write sequences, the layout
// request they post, and the orientation keys written only when the bag disagrees.
#include "control_test_support.h"

namespace {

using controltest::ControlTest;
using Texts = std::vector<std::string>;

const Texts kClearedKeys = {"Write scan.multipos.array = null", "Write scan.multicrop.array = null",
                            "Write scan.autocrop.single = null", "Write scan.autocrop.multi = null"};

Texts Join(Texts a, const Texts& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using ControlReports = controltest::HostBagTest;

const Texts kUprightWrites = {"Read scan.rotate", "Write scan.rotate = VT_I4 0", "Read scan.flip",
                              "Write scan.flip = VT_UI4 0x0"};

TEST_F(ControlReports, NothingIsWrittenWithoutABag)
{
    m_pControl->m_rcCrop = RECT{1, 2, 3, 4};
    m_pControl->ReportFrames(-1);
    m_pControl->ReportOrientation();
    EXPECT_TRUE(m_pBag->Calls().empty());
    EXPECT_EQ(3, m_pControl->m_rcCrop.right);
}

TEST_F(ControlReports, TheCropIsReportedAsPositionAndExclusiveSize)
{
    Bind();
    m_pControl->m_rcCrop = RECT{100, 200, 600, 900};
    m_pControl->m_vecFrames = {RECT{0, 0, 10, 10}};  // not looked at for the crop
    m_pControl->ReportFrames(-1);
    EXPECT_EQ(Join(Join(kClearedKeys, {"Write scan.pos = VT_UI4 100x200", "Write scan.crop = VT_UI4 500x700"}),
                   kUprightWrites),
              m_pBag->CallTexts());
    EXPECT_EQ(0, TakePostedSizes());
}

TEST_F(ControlReports, FramesReportTheirBoundingBoxAndBothArrays)
{
    Bind();
    m_pControl->m_rcCrop = RECT{0, 0, 0, 0};
    m_pControl->m_vecFrames = {RECT{100, 100, 300, 400}, RECT{500, 50, 800, 200}};
    m_pControl->ReportFrames(1);
    EXPECT_EQ(Join(Join(kClearedKeys, {"Write scan.pos = VT_UI4 100x50", "Write scan.crop = VT_UI4 701x351",
                                       "Write scan.multipos.array = VT_ARRAY|VT_UI4 [100x100, 500x50]",
                                       "Write scan.multicrop.array = VT_ARRAY|VT_UI4 [201x301, 301x151]"}),
                   kUprightWrites),
              m_pBag->CallTexts());
    EXPECT_EQ(100, m_pControl->m_rcCrop.left);
    EXPECT_EQ(50, m_pControl->m_rcCrop.top);
    EXPECT_EQ(800, m_pControl->m_rcCrop.right);
    EXPECT_EQ(400, m_pControl->m_rcCrop.bottom);
    EXPECT_EQ(1, TakePostedSizes());

    // The same frames again: the position agrees now, but the inclusive size never equals the
    // crop's exclusive one, so the size and the layout request come again.
    m_pBag->ClearCalls();
    m_pControl->ReportFrames(0);
    EXPECT_EQ(Join(kClearedKeys, {"Write scan.crop = VT_UI4 701x351",
                                  "Write scan.multipos.array = VT_ARRAY|VT_UI4 [100x100, 500x50]",
                                  "Write scan.multicrop.array = VT_ARRAY|VT_UI4 [201x301, 301x151]",
                                  "Read scan.rotate", "Read scan.flip"}),
              m_pBag->CallTexts());
    EXPECT_EQ(1, TakePostedSizes());
}

TEST_F(ControlReports, AnEmptyFrameListWritesNoArrays)
{
    Bind();
    m_pControl->m_rcCrop = RECT{0, 0, 0, 0};
    m_pControl->m_vecFrames.clear();
    m_pControl->ReportFrames(0);
    // Bounding box of nothing: (0, 0, 0, 0), whose inclusive size 1 x 1 differs.
    EXPECT_EQ(Join(Join(kClearedKeys, {"Write scan.crop = VT_UI4 1x1"}), kUprightWrites), m_pBag->CallTexts());
    EXPECT_EQ(1, TakePostedSizes());
}

TEST_F(ControlReports, OrientationWritesNothingWhenTheBagAgrees)
{
    ATL::CComVariant varRotate(0);
    ATL::CComVariant varFlip(0u);
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_ROTATE, varRotate));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_FLIP, varFlip));
    Bind();
    m_pControl->ReportOrientation();
    EXPECT_EQ((Texts{"Read scan.rotate", "Read scan.flip"}), m_pBag->CallTexts());
}

TEST_F(ControlReports, TheMirrorFlagsSwapPlacesOnAQuarterTurn)
{
    ATL::CComVariant varRotate(0);
    ATL::CComVariant varFlip(0u);
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_ROTATE, varRotate));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_FLIP, varFlip));
    m_pControl->MirrorHorizontal();  // no bag yet: nothing reported
    Bind();
    m_pControl->ReportOrientation();
    EXPECT_EQ((Texts{"Read scan.rotate", "Read scan.flip", "Write scan.flip = VT_UI4 1x0"}), m_pBag->CallTexts());

    m_pControl->m_spPropertyBag = nullptr;
    m_pControl->RotateRight();
    m_pControl->m_spPropertyBag = static_cast<IPropertyBag*>(m_pBag);
    m_pBag->ClearCalls();
    m_pControl->ReportOrientation();
    // Mirrored left-right, then turned: the left-right flag moves to the high word.
    EXPECT_EQ((Texts{"Read scan.rotate", "Write scan.rotate = VT_I4 90", "Read scan.flip", "Write scan.flip = VT_UI4 0x1"}),
              m_pBag->CallTexts());
}

}  // namespace
