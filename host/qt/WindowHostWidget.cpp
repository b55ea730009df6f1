#include "WindowHostWidget.h"

#include <QKeyEvent>
#include <QPainter>
#include <QTimer>

#include <cmath>
#include <vector>

#include "DisplayHost.h"

#include <windows.h>
#include <qordisplay.h>
#include <qorheadless.h>

namespace {

constexpr LPCWSTR kTopClass = u"QorWindowHostTop";
constexpr LPCWSTR kViewClass = u"QorWindowHostView";
// Every widget's top-level window has a slot of the platform screen, so that two widgets never
// overlap there; the platform screen is eight slots wide.
constexpr int kSlotWidth = 16384;
constexpr int kSlotCount = 8;
// A delayed step (a resize, a focus change) waits this long for a modal loop to end.
constexpr int kRetryDuringModalMs = 20;
// Lines scrolled per wheel notch, the desktop's usual setting.
constexpr int kWheelLines = 3;

std::vector<bool>& UsedSlots()
{
    static std::vector<bool> vecUsed(kSlotCount, false);
    return vecUsed;
}

void RegisterClasses()
{
    static bool bRegistered = false;
    if (bRegistered)
        return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = kTopClass;
    RegisterClassExW(&wc);
    wc.lpszClassName = kViewClass;
    RegisterClassExW(&wc);
    bRegistered = true;
}

// The state of Shift and Control as injected so far (the keyboard is one for all widgets).
struct ModifierState {
    bool bShift = false;
    bool bControl = false;
};

ModifierState& Modifiers()
{
    static ModifierState state;
    return state;
}

void SetModifier(bool& bState, UINT vk, bool bDown)
{
    if (bState == bDown)
        return;
    bState = bDown;
    QorInjectKey(vk, bDown ? TRUE : FALSE);
}

UINT VirtualKeyOf(int nKey)
{
    if (nKey >= Qt::Key_A && nKey <= Qt::Key_Z)
        return static_cast<UINT>('A' + (nKey - Qt::Key_A));
    if (nKey >= Qt::Key_0 && nKey <= Qt::Key_9)
        return static_cast<UINT>('0' + (nKey - Qt::Key_0));
    if (nKey >= Qt::Key_F1 && nKey <= Qt::Key_F12)
        return static_cast<UINT>(VK_F1 + (nKey - Qt::Key_F1));
    switch (nKey) {
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_End: return VK_END;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_Alt: return VK_MENU;
    default: return 0;
    }
}

UINT ButtonMessage(Qt::MouseButton button, bool bDown)
{
    switch (button) {
    case Qt::LeftButton: return bDown ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case Qt::RightButton: return bDown ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    case Qt::MiddleButton: return bDown ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    default: return 0;
    }
}

}  // namespace

CWindowHostWidget::CWindowHostWidget(QWidget* pParent) : QWidget(pParent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(160, 120);

    m_pHost = CDisplayHost::Acquire();
    RegisterClasses();
    std::vector<bool>& vecUsed = UsedSlots();
    while (m_nSlot < kSlotCount - 1 && vecUsed[m_nSlot])
        ++m_nSlot;
    vecUsed[m_nSlot] = true;
    m_fScale = devicePixelRatioF();
    const int cx = std::max(1, static_cast<int>(std::lround(width() * m_fScale)));
    const int cy = std::max(1, static_cast<int>(std::lround(height() * m_fScale)));
    m_hWndTop = CreateWindowExW(0, kTopClass, u"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, m_nSlot * kSlotWidth, 0,
                                cx, cy, nullptr, nullptr, nullptr, nullptr);
    m_hWndView = CreateWindowExW(0, kViewClass, u"", WS_CHILD | WS_VISIBLE, 0, 0, cx, cy, m_hWndTop, nullptr,
                                 nullptr, nullptr);
    m_pHost->AddWidget(m_hWndTop, this);
}

CWindowHostWidget::~CWindowHostWidget()
{
    m_pHost->RemoveWidget(m_hWndTop);
    if (m_hWndTop != nullptr)
        DestroyWindow(m_hWndTop);
    UsedSlots()[m_nSlot] = false;
    CDisplayHost::Release();
}

SIZE CWindowHostWidget::PlatformScreenSize()
{
    return SIZE{kSlotWidth * kSlotCount, kSlotWidth};
}

QImage CWindowHostWidget::GrabView() const
{
    RECT rc{};
    GetClientRect(m_hWndView, &rc);
    QImage image(rc.right, rc.bottom, QImage::Format_RGB32);
    if (image.isNull() || !QorGetWindowPixels(m_hWndView, reinterpret_cast<DWORD*>(image.bits()),
                                              static_cast<int>(image.bytesPerLine())))
        return QImage();
    return image;
}

void CWindowHostWidget::PumpNow()
{
    m_pHost->Pump();
}

bool CWindowHostWidget::InModalLoop()
{
    return QorIsInModalWait() != FALSE;
}

void CWindowHostWidget::EndModalLoop()
{
    POINT pt{};
    GetCursorPos(&pt);
    QorInjectKey(VK_ESCAPE, TRUE);
    QorInjectKey(VK_ESCAPE, FALSE);
    QorInjectMouse(WM_LBUTTONUP, pt.x, pt.y, 0);
}

void CWindowHostWidget::Present(const RECT& rcDirty)
{
    const QRectF rcDevice(rcDirty.left, rcDirty.top, rcDirty.right - rcDirty.left, rcDirty.bottom - rcDirty.top);
    const QRectF rcLogical(rcDevice.topLeft() / m_fScale, rcDevice.size() / m_fScale);
    update(rcLogical.toAlignedRect());
}

void CWindowHostWidget::paintEvent(QPaintEvent* pEvent)
{
    if (devicePixelRatioF() != m_fScale)
        QTimer::singleShot(0, this, &CWindowHostWidget::ResizeWindows);
    QORSURFACE surface{};
    QPainter painter(this);
    if (!QorGetWindowSurface(m_hWndTop, &surface)) {
        painter.fillRect(pEvent->rect(), palette().window());
        return;
    }
    // The surface's pixels in place: no copy of the surface, only the part to paint is drawn.
    QImage image(reinterpret_cast<const uchar*>(surface.bits), surface.width, surface.height, surface.stride,
                 QImage::Format_RGB32);
    const QRect rcLogical = pEvent->rect();
    const QRect rcSource = QRectF(QPointF(rcLogical.topLeft()) * m_fScale, QSizeF(rcLogical.size()) * m_fScale)
                               .toAlignedRect()
                               .intersected(image.rect());
    painter.drawImage(QRectF(QPointF(rcSource.topLeft()) / m_fScale, QSizeF(rcSource.size()) / m_fScale), image,
                      rcSource);
    m_nLastPaintBytes = static_cast<qint64>(rcSource.width()) * rcSource.height() * 4;
    emit presented();
}

void CWindowHostWidget::resizeEvent(QResizeEvent* /*pEvent*/)
{
    ResizeWindows();
}

void CWindowHostWidget::ResizeWindows()
{
    // Moving windows sends WM_SIZE at once: not while a modal loop owns the messages.
    if (InModalLoop()) {
        QTimer::singleShot(kRetryDuringModalMs, this, &CWindowHostWidget::ResizeWindows);
        return;
    }
    m_fScale = devicePixelRatioF();
    const int cx = std::max(1, static_cast<int>(std::lround(width() * m_fScale)));
    const int cy = std::max(1, static_cast<int>(std::lround(height() * m_fScale)));
    RECT rc{};
    GetClientRect(m_hWndView, &rc);
    if (rc.right == cx && rc.bottom == cy)
        return;
    SetWindowPos(m_hWndTop, nullptr, m_nSlot * kSlotWidth, 0, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
    MoveWindow(m_hWndView, 0, 0, cx, cy, TRUE);
    update();
    emit viewResized();
    m_pHost->RequestPump();
}

POINT CWindowHostWidget::ToScreen(const QPointF& ptLocal) const
{
    return POINT{m_nSlot * kSlotWidth + static_cast<LONG>(std::floor(ptLocal.x() * m_fScale)),
                 static_cast<LONG>(std::floor(ptLocal.y() * m_fScale))};
}

void CWindowHostWidget::SyncModifiers(Qt::KeyboardModifiers modifiers)
{
    SetModifier(Modifiers().bShift, VK_SHIFT, modifiers.testFlag(Qt::ShiftModifier));
    SetModifier(Modifiers().bControl, VK_CONTROL, modifiers.testFlag(Qt::ControlModifier));
}

void CWindowHostWidget::InjectMouse(UINT nMessage, const QPointF& ptLocal, Qt::KeyboardModifiers modifiers)
{
    if (nMessage == 0)
        return;
    SyncModifiers(modifiers);
    const POINT pt = ToScreen(ptLocal);
    QorInjectMouse(nMessage, pt.x, pt.y, 0);
    AfterInput();
}

// Outside a modal loop the input is dispatched at once; inside one, the loop takes it when
// this event handler returns to it.
void CWindowHostWidget::AfterInput()
{
    if (!InModalLoop())
        m_pHost->Pump();
}

void CWindowHostWidget::mousePressEvent(QMouseEvent* pEvent)
{
    InjectMouse(ButtonMessage(pEvent->button(), true), pEvent->position(), pEvent->modifiers());
}

void CWindowHostWidget::mouseReleaseEvent(QMouseEvent* pEvent)
{
    InjectMouse(ButtonMessage(pEvent->button(), false), pEvent->position(), pEvent->modifiers());
}

// The window system tells double clicks apart itself, for the classes that ask for them.
void CWindowHostWidget::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    mousePressEvent(pEvent);
}

void CWindowHostWidget::mouseMoveEvent(QMouseEvent* pEvent)
{
    InjectMouse(WM_MOUSEMOVE, pEvent->position(), pEvent->modifiers());
}

void CWindowHostWidget::wheelEvent(QWheelEvent* pEvent)
{
    pEvent->accept();
    if (InModalLoop())
        return;  // a drag is running: the wheel waits
    const bool bHorizontal = pEvent->modifiers().testFlag(Qt::ShiftModifier) || pEvent->angleDelta().x() != 0;
    m_nWheelRemainder += bHorizontal && pEvent->angleDelta().x() != 0 ? pEvent->angleDelta().x()
                                                                       : pEvent->angleDelta().y();
    const int nNotches = m_nWheelRemainder / WHEEL_DELTA;
    m_nWheelRemainder -= nNotches * WHEEL_DELTA;
    if (nNotches == 0)
        return;
    if (pEvent->modifiers().testFlag(Qt::ControlModifier)) {
        emit zoomRequested(nNotches);
        return;
    }
    const UINT nMessage = bHorizontal ? WM_HSCROLL : WM_VSCROLL;
    const WORD nCode = nNotches > 0 ? SB_LINEUP : SB_LINEDOWN;  // away from the user: up or left
    for (int i = 0; i < std::abs(nNotches) * kWheelLines; ++i)
        SendMessageW(m_hWndView, nMessage, MAKEWPARAM(nCode, 0), 0);
    SendMessageW(m_hWndView, nMessage, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
    m_pHost->Pump();
}

void CWindowHostWidget::keyPressEvent(QKeyEvent* pEvent)
{
    const int nKey = pEvent->key();
    if (nKey == Qt::Key_Shift || nKey == Qt::Key_Control) {
        SetModifier(nKey == Qt::Key_Shift ? Modifiers().bShift : Modifiers().bControl,
                    nKey == Qt::Key_Shift ? VK_SHIFT : VK_CONTROL, true);
        AfterInput();
        return;
    }
    SyncModifiers(pEvent->modifiers());
    if (const UINT vk = VirtualKeyOf(nKey))
        QorInjectKey(vk, TRUE);
    // Characters come with the keyboard layout applied; control characters the window system
    // does not type (Ctrl+letter) are left out.
    for (const QChar ch : pEvent->text())
        if (ch.unicode() >= 0x20 || ch == u'\r' || ch == u'\t' || ch == u'\b' || ch == u'\x1b')
            QorInjectChar(static_cast<WCHAR>(ch.unicode()));
    AfterInput();
}

void CWindowHostWidget::keyReleaseEvent(QKeyEvent* pEvent)
{
    if (pEvent->isAutoRepeat())
        return;  // a held key repeats its press, with the repeat flag set by the window system
    const int nKey = pEvent->key();
    if (nKey == Qt::Key_Shift || nKey == Qt::Key_Control) {
        SetModifier(nKey == Qt::Key_Shift ? Modifiers().bShift : Modifiers().bControl,
                    nKey == Qt::Key_Shift ? VK_SHIFT : VK_CONTROL, false);
    } else if (const UINT vk = VirtualKeyOf(nKey)) {
        QorInjectKey(vk, FALSE);
    }
    AfterInput();
}

void CWindowHostWidget::focusInEvent(QFocusEvent* pEvent)
{
    QWidget::focusInEvent(pEvent);
    GiveFocusToView();
}

void CWindowHostWidget::GiveFocusToView()
{
    if (!hasFocus())
        return;
    if (InModalLoop()) {  // SetFocus sends WM_SETFOCUS at once
        QTimer::singleShot(kRetryDuringModalMs, this, &CWindowHostWidget::GiveFocusToView);
        return;
    }
    SetFocus(m_hWndView);
    m_pHost->RequestPump();
}

void CWindowHostWidget::focusOutEvent(QFocusEvent* pEvent)
{
    QWidget::focusOutEvent(pEvent);
    if (!InModalLoop() && GetFocus() == m_hWndView)
        SetFocus(nullptr);
    SyncModifiers(Qt::NoModifier);  // keys released elsewhere are not seen here
}

// Tab and Shift+Tab belong to the view window while it has the focus.
bool CWindowHostWidget::focusNextPrevChild(bool /*bNext*/)
{
    return false;
}

bool CWindowHostWidget::event(QEvent* pEvent)
{
    // Tab is a key for the view, not a focus move.
    if (pEvent->type() == QEvent::KeyPress) {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_Tab || pKey->key() == Qt::Key_Backtab) {
            keyPressEvent(pKey);
            return true;
        }
    }
    return QWidget::event(pEvent);
}
