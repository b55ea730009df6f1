// CDisplayHost: Qt as the window system's display host (qordisplay.h).
//
// One per process, made by the first CWindowHostWidget and gone with the last. It installs the
// display host's callbacks, pumps the window system's queue from Qt's event loop (after a wake
// and when the next window-system timer falls due), runs Qt's events while a modal loop of the
// window system waits, and routes presents and cursor changes to the widget that shows the
// top-level window.
#pragma once

#include <QCursor>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <atomic>

#include <windef.h>

class CWindowHostWidget;

class CDisplayHost : public QObject {
    Q_OBJECT
public:
    // The host of this process, made on first use (on Qt's GUI thread).
    static CDisplayHost* Acquire();
    static void Release();

    void AddWidget(HWND hWndTop, CWindowHostWidget* pWidget);
    void RemoveWidget(HWND hWndTop);

    // Retrieves and dispatches the window system's messages until none is left, then arms the
    // timer for the next window-system timer. Does nothing (and tries again a little later)
    // while a modal loop of the window system waits: that loop retrieves its own messages.
    void Pump();
    // Thread-safe: a Pump on Qt's loop soon, coalesced.
    void RequestPump();

    // The Qt cursor that shows a window-system cursor.
    QCursor CursorFor(HCURSOR hCursor);

    // Messages dispatched by Pump so far (for tests and benchmarks).
    quint64 DispatchedCount() const { return m_nDispatched; }

private:
    CDisplayHost();
    ~CDisplayHost() override;

    static void CALLBACK OnPresent(void* pContext, HWND hWndTop, const RECT* prcDirty);
    static void CALLBACK OnCursorChanged(void* pContext, HCURSOR hCursor);
    static void CALLBACK OnWait(void* pContext, DWORD dwTimeoutMs);
    static void CALLBACK OnWake(void* pContext);

    void ArmTimer();

    QHash<HWND, CWindowHostWidget*> m_widgets;
    QHash<HCURSOR, QCursor> m_cursors;
    QTimer m_timer;  // the window system's next timer
    std::atomic<bool> m_bPumpQueued{false};
    quint64 m_nDispatched = 0;
    int m_nUsers = 0;
};
