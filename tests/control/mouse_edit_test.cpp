// Frames edited with the mouse on the control reach the host bag: one report per finished
// edit, in the order of the edits.
#include "control_test_support.h"

namespace {

using Texts = std::vector<std::string>;

class ControlMouseEdit : public controltest::HostBagTest {
protected:
    // A letter page from the bag with a finished 850 x 1100 preview: in the 400 x 300 window
    // the page is 231 x 300 view pixels.
    void SetUp() override
    {
        HostBagTest::SetUp();
        m_pControl->m_bSampleShown = false;
        ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_SIZE, ATL::CComVariant(QorScanMakePair(8500, 11000))));
        ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_POS, ATL::CComVariant(QorScanMakePair(1000, 1000))));
        ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, ATL::CComVariant(QorScanMakePair(2000, 2000))));
        ASSERT_TRUE(SUCCEEDED(Query<IPersistPropertyBag>()->Load(m_pBag, nullptr)));
        m_pControl->m_pPreviewSource.reset(new Gdiplus::Bitmap(850, 1100, PixelFormat32bppARGB));
        m_pControl->m_pPreviewImage.reset(new Gdiplus::Bitmap(1, 1, PixelFormat32bppARGB));
        m_pControl->ApplyOrientation();
        m_pControl->SetPageAndCrop(m_pControl->m_rcPage, m_pControl->m_rcCrop, true);
        uitest::Pump();
        m_pBag->ClearCalls();
    }

    // A drag between two points in client coordinates of the control's window.
    void Drag(POINT ptFrom, POINT ptTo)
    {
        POINT pts[2] = {ptFrom, ptTo};
        ::MapWindowPoints(m_hWndChild, nullptr, pts, 2);
        ::QorInjectMouse(WM_LBUTTONDOWN, pts[0].x, pts[0].y, 0);
        ::QorInjectMouse(WM_MOUSEMOVE, (pts[0].x + pts[1].x) / 2, (pts[0].y + pts[1].y) / 2, 0);
        ::QorInjectMouse(WM_MOUSEMOVE, pts[1].x, pts[1].y, 0);
        ::QorInjectMouse(WM_LBUTTONUP, pts[1].x, pts[1].y, 0);
        uitest::Pump();
    }

    // The write of the frames' positions as the control holds them now (page units).
    std::string PositionsWrite() const
    {
        std::string text = "Write scan.multipos.array = VT_ARRAY|VT_UI4 [";
        for (const RECT& rc : m_pControl->m_vecFrames)
            text += (text.back() == '[' ? "" : ", ") + std::to_string(rc.left) + "x" + std::to_string(rc.top);
        return text + "]";
    }
};

TEST_F(ControlMouseEdit, EveryFinishedEditIsReportedInOrder)
{
    const RECT rcFrame = m_pControl->m_vecTrackers.at(0).rect;  // view coordinates
    const POINT ptMiddle = {(rcFrame.left + rcFrame.right) / 2, (rcFrame.top + rcFrame.bottom) / 2};
    // Moving the only frame, dragging out a second one, deleting the first through its glyph.
    Texts positions;
    Drag(ptMiddle, {ptMiddle.x + 40, ptMiddle.y + 60});
    positions.push_back(PositionsWrite());
    Drag({60, 200}, {200, 280});
    positions.push_back(PositionsWrite());
    const RECT rcMoved = m_pControl->m_vecTrackers.at(0).rect;
    Drag({rcMoved.right - 6, rcMoved.top + 8}, {rcMoved.right - 6, rcMoved.top + 8});
    positions.push_back(PositionsWrite());
    ASSERT_EQ(1u, m_pControl->m_vecFrames.size());
    EXPECT_GT(m_pControl->m_vecFrames[0].top, 5000);  // the frame dragged out

    // Each report clears the other crop keys first and lists the frames after the edit; the
    // orientation is written once, to a bag that had none.
    Texts expected;
    for (const std::string& positionsWrite : positions) {
        expected.insert(expected.end(), {"Write scan.multipos.array = null", "Write scan.multicrop.array = null",
                                         "Write scan.autocrop.single = null", "Write scan.autocrop.multi = null",
                                         positionsWrite});
        if (expected.size() == 5)
            expected.insert(expected.end(), {"Write scan.rotate = VT_I4 0", "Write scan.flip = VT_UI4 0x0"});
    }
    Texts got;
    for (const std::string& text : m_pBag->CallTexts(HostBagCallKind::Write)) {
        if (text.find("= null") != std::string::npos || text.find("multipos") != std::string::npos ||
            text.find("rotate") != std::string::npos || text.find("flip") != std::string::npos)
            got.push_back(text);
    }
    EXPECT_EQ(expected, got);
}

}  // namespace
