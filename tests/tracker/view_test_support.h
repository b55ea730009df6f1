// A preview view on a test window, recording its reports to the host.
#pragma once

#include "ScanViewPreview.h"
#include "ui_test_support.h"

namespace uitest {

class RecordingView : public CScanViewPreview {
public:
    void ReportOrientation() override { ++orientationReports; }
    void ReportFrames(int nIndex) override
    {
        frameReports.push_back(nIndex);
        writingDuringReport = m_bWritingToHost;
    }
    int orientationReports = 0;
    std::vector<int> frameReports;
    bool writingDuringReport = false;
};

// The view subclasses a popup test window, as the control subclasses its host's window.
class ViewWindow {
public:
    ViewWindow(int width, int height) : window(width, height) { view.SubclassWindow(window); }
    ~ViewWindow() { view.UnsubclassWindow(TRUE); }
    ViewWindow(const ViewWindow&) = delete;
    ViewWindow& operator=(const ViewWindow&) = delete;

    // A plain mapping: no sample aspect, zoom step and factor, image pixels per view pixel.
    void SetMapping(int zoomStep, double scale)
    {
        view.m_bSampleShown = false;
        view.m_nZoomStep = zoomStep;
        view.m_dZoom = static_cast<double>(1 << zoomStep);
        view.m_dScaleX = view.m_dScaleY = scale;
        view.m_nOffsetX = view.m_nOffsetY = 0;
    }

    TestWindow window;
    RecordingView view;
};

}  // namespace uitest
