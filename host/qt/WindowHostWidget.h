// CWindowHostWidget: a Qt widget that shows one top-level window of the window system and the
// host's child window in it, the window a control subclasses.
//
// The widget owns both windows. It paints the top-level surface in place (QImage over the
// surface's pixels, only the presented rectangles), maps Qt's mouse, key, focus and resize
// events to the window system's input in device pixels (HiDPI screens get sharp pixels), and
// shows the cursor the window system chose. The wheel scrolls the view window through
// WM_VSCROLL (WM_HSCROLL with Shift) and Ctrl+wheel asks for zoom through zoomRequested: the
// window system's view window is given no WM_MOUSEWHEEL, as a control's window that leaves the
// wheel alone would ignore it.
//
// While a modal loop of the window system waits (a drag), input is only queued and pixels only
// presented: the loop itself retrieves the input. A close during such a loop must wait for it
// to end; EndModalLoop asks it to end as a user would (Escape, button released).
#pragma once

#include <QWidget>

#include <windef.h>

class CDisplayHost;

class CWindowHostWidget : public QWidget {
    Q_OBJECT
public:
    explicit CWindowHostWidget(QWidget* pParent = nullptr);
    ~CWindowHostWidget() override;

    // The child window for the control (IOleWindow::GetWindow of the host's site).
    HWND ViewWindow() const { return m_hWndView; }
    HWND TopWindow() const { return m_hWndTop; }
    // The pixels of the view window as the screen shows them (device pixels).
    QImage GrabView() const;
    // Dispatches the window system's pending messages now (after a call into the control that
    // invalidated or posted, when a test wants the result at once).
    void PumpNow();
    // True while a modal loop of the window system runs; EndModalLoop queues Escape and a
    // release of the left button so that it ends as soon as it runs again.
    static bool InModalLoop();
    static void EndModalLoop();

    // Bytes of surface painted by the last paint event (no whole-surface copy per frame).
    qint64 LastPaintBytes() const { return m_nLastPaintBytes; }
    // Called by the display host.
    void Present(const RECT& rcDirty);
    // The platform screen: every widget's top-level window sits in a slot of its own.
    static SIZE PlatformScreenSize();

signals:
    // Ctrl+wheel: +1 per notch away from the user (zoom in), -1 towards.
    void zoomRequested(int nSteps);
    // After the view window has its new size.
    void viewResized();
    // After a paint event has put the window system's pixels on the widget.
    void presented();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void keyReleaseEvent(QKeyEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;
    bool focusNextPrevChild(bool bNext) override;
    bool event(QEvent* pEvent) override;

private:
    POINT ToScreen(const QPointF& ptLocal) const;
    void InjectMouse(UINT nMessage, const QPointF& ptLocal, Qt::KeyboardModifiers modifiers);
    void SyncModifiers(Qt::KeyboardModifiers modifiers);
    void ResizeWindows();
    void GiveFocusToView();
    void AfterInput();

    CDisplayHost* m_pHost = nullptr;
    HWND m_hWndTop = nullptr;
    HWND m_hWndView = nullptr;
    int m_nSlot = 0;
    qreal m_fScale = 1.0;  // device pixels per Qt pixel
    int m_nWheelRemainder = 0;
    qint64 m_nLastPaintBytes = 0;
};
