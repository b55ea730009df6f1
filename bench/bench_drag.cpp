// A frame drag in the Qt widget, as a person makes it: the control from the module on a
// 300-dpi letter preview (2550 x 3300, SANE's test backend) in a 1000 x 800 view, the bottom-right
// handle of the frame dragged across the page in 200 moves. Measured per move: the time from the
// mouse-move event reaching the widget to the paint that puts the new pixels on the widget
// (median and worst), the moves presented per second of the continuous drag, and the bytes of
// surface painted per presented frame (against the whole surface's 3.2 MB).
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include <ScanSession.h>
#include <WindowHostWidget.h>

namespace {

constexpr int kMoves = 200;

struct DragFigures {
    std::vector<double> vecLatencyMs;
    double fSeconds = 0;
    double fBytesPerFrame = 0;
    int nFrames = 0;
};

// Times the moves of one drag. The press starts the control's modal loop; each next move is
// posted when the previous one has been presented, so every latency is that of one move alone.
class CDragDriver : public QObject {
public:
    CDragDriver(CWindowHostWidget* pView, QPoint ptFrom, QPoint ptTo) : m_pView(pView), m_ptFrom(ptFrom), m_ptTo(ptTo)
    {
        pView->installEventFilter(this);
        connect(pView, &CWindowHostWidget::presented, this, [this] { OnPresented(); });
        // A move that changes nothing on screen is not presented: the next one goes after a while.
        m_watchdog.setInterval(100);
        connect(&m_watchdog, &QTimer::timeout, this, [this] {
            if (m_bWaiting && m_moveDelivered.isValid() && m_moveDelivered.elapsed() >= 100)
                Advance();
        });
        m_watchdog.start();
    }

    DragFigures Run()
    {
        m_total.start();
        Post(QEvent::MouseMove, 1);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(m_ptFrom), m_pView->mapToGlobal(QPointF(m_ptFrom)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_pView, &press);  // returns when the drag has ended
        m_figures.fSeconds = m_fDragEnd;
        m_figures.fBytesPerFrame = m_figures.nFrames > 0 ? m_fBytes / m_figures.nFrames : 0;
        return m_figures;
    }

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::MouseMove && m_bWaiting)
            m_moveDelivered.start();
        return false;
    }

private:
    QPointF PointOf(int nMove) const
    {
        return QPointF(m_ptFrom) + QPointF(m_ptTo - m_ptFrom) * (static_cast<double>(nMove) / kMoves);
    }

    void Post(QEvent::Type type, int nMove)
    {
        const QPointF pt = PointOf(nMove);
        const bool bRelease = type == QEvent::MouseButtonRelease;
        QCoreApplication::postEvent(m_pView, new QMouseEvent(type, pt, m_pView->mapToGlobal(pt),
                                                             bRelease ? Qt::LeftButton : Qt::NoButton,
                                                             bRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier));
        m_bWaiting = !bRelease;
        m_nMove = nMove;
    }

    void OnPresented()
    {
        if (!m_bWaiting || !m_moveDelivered.isValid())
            return;
        m_figures.vecLatencyMs.push_back(m_moveDelivered.nsecsElapsed() / 1e6);
        m_fBytes += static_cast<double>(m_pView->LastPaintBytes());
        ++m_figures.nFrames;
        Advance();
    }

    void Advance()
    {
        m_moveDelivered.invalidate();
        if (m_nMove < kMoves) {
            Post(QEvent::MouseMove, m_nMove + 1);
        } else {
            m_fDragEnd = m_total.nsecsElapsed() / 1e9;
            Post(QEvent::MouseButtonRelease, kMoves);
        }
    }

    CWindowHostWidget* m_pView;
    QPoint m_ptFrom, m_ptTo;
    QElapsedTimer m_total, m_moveDelivered;
    QTimer m_watchdog;
    DragFigures m_figures;
    double m_fBytes = 0;
    double m_fDragEnd = 0;
    int m_nMove = 0;
    bool m_bWaiting = false;
};

bool WaitIdle(CScanSession& session)
{
    QElapsedTimer timer;
    timer.start();
    while (session.IsBusy() && timer.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !session.IsBusy();
}

void BM_FrameDrag(benchmark::State& state)
{
    QTemporaryDir folder;
    qputenv("QOR_REGISTRY_DIR", folder.path().toUtf8());
    CWindowHostWidget view;
    view.resize(1000, 800);
    view.show();
    CScanSession session;
    CScanSession::Options options;
    options.strModulePath = QORSCAN_MODULE_PATH;
    options.strDevice = "test:0";
    options.nPreviewDpi = 300;
    QString strError;
    if (!session.Start(view.ViewWindow(), options, [](HWND, LPCWSTR, UINT, LONG*) { return IDOK; }, &strError) ||
        FAILED(session.Exec(QORSCAN_CMDID_PREVIEW)) || !WaitIdle(session)) {
        state.SkipWithError(qPrintable(strError.isEmpty() ? QStringLiteral("the preview failed") : strError));
        return;
    }
    // A 4 x 5 inch frame at (1, 1) inches; at fit the page's 11 inches are the view's 800 rows,
    // so its middle is at (254, 291) and a drag of its middle moves it.
    session.WriteKey(QORSCAN_KEY_SCAN_POS, QorScanPairVariant(1000, 1000));
    session.WriteKey(QORSCAN_KEY_SCAN_CROP, QorScanPairVariant(4000, 5000));
    view.PumpNow();
    const QPoint ptCorner(254, 291), ptInside(400, 420);
    std::vector<double> vecAll;  // the frame goes there and back in each iteration
    double fFrames = 0, fSeconds = 0, fBytes = 0;
    for (auto _ : state) {
        CDragDriver forth(&view, ptCorner, ptInside);
        const DragFigures out = forth.Run();
        CDragDriver back(&view, ptInside, ptCorner);
        const DragFigures in = back.Run();
        for (const DragFigures* p : {&out, &in}) {
            vecAll.insert(vecAll.end(), p->vecLatencyMs.begin(), p->vecLatencyMs.end());
            fFrames += p->nFrames;
            fSeconds += p->fSeconds;
            fBytes += p->fBytesPerFrame * p->nFrames;
        }
    }
    session.Stop();
    if (vecAll.empty()) {
        state.SkipWithError("no move was presented");
        return;
    }
    std::sort(vecAll.begin(), vecAll.end());
    state.counters["median_ms"] = vecAll[vecAll.size() / 2];
    state.counters["worst_ms"] = vecAll.back();
    state.counters["frames_per_s"] = fSeconds > 0 ? fFrames / fSeconds : 0;
    state.counters["bytes_per_frame"] = fFrames > 0 ? fBytes / fFrames : 0;
    state.counters["surface_bytes"] = 1000.0 * 800 * 4;
}
BENCHMARK(BM_FrameDrag)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
