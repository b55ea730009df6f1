#include "DisplayHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>

#include "WindowHostWidget.h"

#include <windows.h>
#include <qordisplay.h>

namespace {

CDisplayHost* g_pHost = nullptr;

// How long one Pump dispatches before it lets Qt run again: a stream of posts (a scan's rows)
// or a window that never validates its update area must not starve Qt's own events.
constexpr qint64 kPumpBudgetNs = 8'000'000;
// How soon a pump skipped during a modal wait is tried again. The modal loops start from a
// dispatch of Pump, which goes on when they end, so this is only a safety net.
constexpr int kRetryDuringModalMs = 50;

Qt::CursorShape ShapeOfSystemCursor(UINT nId)
{
    switch (nId) {
    case 32513: return Qt::IBeamCursor;         // IDC_IBEAM
    case 32514: return Qt::WaitCursor;          // IDC_WAIT
    case 32515: return Qt::CrossCursor;         // IDC_CROSS
    case 32516: return Qt::UpArrowCursor;       // IDC_UPARROW
    case 32642: return Qt::SizeFDiagCursor;     // IDC_SIZENWSE
    case 32643: return Qt::SizeBDiagCursor;     // IDC_SIZENESW
    case 32644: return Qt::SizeHorCursor;       // IDC_SIZEWE
    case 32645: return Qt::SizeVerCursor;       // IDC_SIZENS
    case 32646: return Qt::SizeAllCursor;       // IDC_SIZEALL
    case 32648: return Qt::ForbiddenCursor;     // IDC_NO
    case 32649: return Qt::PointingHandCursor;  // IDC_HAND
    case 32650: return Qt::BusyCursor;          // IDC_APPSTARTING
    case 32651: return Qt::WhatsThisCursor;     // IDC_HELP
    default: return Qt::ArrowCursor;
    }
}

}  // namespace

CDisplayHost* CDisplayHost::Acquire()
{
    if (g_pHost == nullptr)
        g_pHost = new CDisplayHost();
    ++g_pHost->m_nUsers;
    return g_pHost;
}

void CDisplayHost::Release()
{
    if (g_pHost != nullptr && --g_pHost->m_nUsers == 0) {
        delete g_pHost;
        g_pHost = nullptr;
    }
}

CDisplayHost::CDisplayHost()
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CDisplayHost::Pump);
    QORDISPLAYHOST host{};
    host.cbSize = sizeof(host);
    host.context = this;
    host.pfnPresent = &CDisplayHost::OnPresent;
    host.pfnCursorChanged = &CDisplayHost::OnCursorChanged;
    host.pfnWait = &CDisplayHost::OnWait;
    host.pfnWake = &CDisplayHost::OnWake;
    host.sizeScreen = CWindowHostWidget::PlatformScreenSize();
    QorSetDisplayHost(&host);
}

CDisplayHost::~CDisplayHost()
{
    QorSetDisplayHost(nullptr);
}

void CDisplayHost::AddWidget(HWND hWndTop, CWindowHostWidget* pWidget)
{
    m_widgets.insert(hWndTop, pWidget);
}

void CDisplayHost::RemoveWidget(HWND hWndTop)
{
    m_widgets.remove(hWndTop);
}

void CDisplayHost::Pump()
{
    m_bPumpQueued = false;
    if (QorIsInModalWait()) {
        QTimer::singleShot(kRetryDuringModalMs, this, &CDisplayHost::Pump);
        return;
    }
    QElapsedTimer budget;
    budget.start();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        // Nothing of the window system ends the application; a quit is Qt's business.
        if (msg.message != WM_QUIT) {
            DispatchMessageW(&msg);
            ++m_nDispatched;
        }
        if (budget.nsecsElapsed() > kPumpBudgetNs) {
            RequestPump();  // the rest after Qt's events
            break;
        }
    }
    ArmTimer();
}

void CDisplayHost::RequestPump()
{
    if (!m_bPumpQueued.exchange(true))
        QMetaObject::invokeMethod(this, &CDisplayHost::Pump, Qt::QueuedConnection);
}

void CDisplayHost::ArmTimer()
{
    DWORD dwDueMs = 0;
    if (QorGetNextTimerDue(&dwDueMs))
        m_timer.start(static_cast<int>(std::min<DWORD>(dwDueMs, 24 * 3600 * 1000)));
    else
        m_timer.stop();
}

QCursor CDisplayHost::CursorFor(HCURSOR hCursor)
{
    auto it = m_cursors.find(hCursor);
    if (it != m_cursors.end())
        return *it;
    QORCURSORIMAGE image{};
    image.cbSize = sizeof(image);
    QCursor cursor(Qt::ArrowCursor);
    if (hCursor != nullptr && QorGetCursorImage(hCursor, &image)) {
        if (image.bits != nullptr) {
            // The window system keeps the pixels as long as the cursor; the pixmap copies them.
            const QImage pixels(reinterpret_cast<const uchar*>(image.bits), image.width, image.height,
                                image.width * 4, QImage::Format_ARGB32);
            cursor = QCursor(QPixmap::fromImage(pixels), image.hotspot.x, image.hotspot.y);
        } else {
            cursor = QCursor(ShapeOfSystemCursor(image.systemId));
        }
    }
    m_cursors.insert(hCursor, cursor);
    return cursor;
}

void CALLBACK CDisplayHost::OnPresent(void* pContext, HWND hWndTop, const RECT* prcDirty)
{
    auto* pHost = static_cast<CDisplayHost*>(pContext);
    if (CWindowHostWidget* pWidget = pHost->m_widgets.value(hWndTop, nullptr))
        pWidget->Present(*prcDirty);
}

void CALLBACK CDisplayHost::OnCursorChanged(void* pContext, HCURSOR hCursor)
{
    auto* pHost = static_cast<CDisplayHost*>(pContext);
    const QCursor cursor = pHost->CursorFor(hCursor);
    for (CWindowHostWidget* pWidget : std::as_const(pHost->m_widgets))
        pWidget->setCursor(cursor);
}

// A modal loop of the window system has nothing to retrieve: Qt runs its events (input reaches
// the widgets, which only queue it; presents are painted) until one arrives or the time is up.
void CALLBACK CDisplayHost::OnWait(void* /*pContext*/, DWORD dwTimeoutMs)
{
    QEventLoop loop;
    QTimer timeout;
    if (dwTimeoutMs != INFINITE) {
        timeout.setSingleShot(true);
        timeout.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timeout, &QTimer::timeout, &loop, [] {});
        timeout.start(static_cast<int>(std::min<DWORD>(dwTimeoutMs, 24 * 3600 * 1000)));
    }
    loop.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

void CALLBACK CDisplayHost::OnWake(void* pContext)
{
    static_cast<CDisplayHost*>(pContext)->RequestPump();
}
