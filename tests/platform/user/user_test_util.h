// Helpers for the window-system tests: a window class whose procedure records every
// message, message tables compared in one place, and a fixture that leaves no window,
// capture, clip or input behind.
#pragma once

#include <gtest/gtest.h>
#include <qorheadless.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace usertest {

struct Recorded {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// One row of an expected message table: the window (by name), the message and, when
// checkWParam is set, its wParam.
struct Row {
    const char* window;
    UINT message;
    bool checkWParam = false;
    WPARAM wParam = 0;
};

class Recorder {
public:
    static Recorder& Get()
    {
        static Recorder recorder;
        return recorder;
    }
    void Name(HWND hwnd, const char* name) { names_[hwnd] = name; }
    void Clear() { log_.clear(); }
    const std::vector<Recorded>& Log() const { return log_; }
    void Add(const Recorded& r)
    {
        if (enabled_) log_.push_back(r);
    }
    void Enable(bool on) { enabled_ = on; }
    // Messages that are not part of any table (the window system sends them as it sees fit).
    static bool Ignored(UINT message) { return message == WM_GETTEXT || message == WM_GETTEXTLENGTH; }

    // The recorded messages, restricted to the messages the table mentions (any message of
    // the table's kinds that is missing, extra or out of order fails).
    ::testing::AssertionResult Matches(const std::vector<Row>& expected) const
    {
        std::vector<UINT> kinds;
        for (const Row& r : expected) kinds.push_back(r.message);
        std::vector<Recorded> got;
        for (const Recorded& r : log_)
            if (std::find(kinds.begin(), kinds.end(), r.message) != kinds.end()) got.push_back(r);
        std::string text;
        bool ok = got.size() == expected.size();
        for (size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
            std::string line;
            if (i < expected.size()) line += std::string("expected ") + expected[i].window + " " + Hex(expected[i].message);
            if (i < got.size()) line += std::string("  got ") + NameOf(got[i].hwnd) + " " + Hex(got[i].message);
            if (i < expected.size() && i < got.size()) {
                const bool same = got[i].message == expected[i].message && NameOf(got[i].hwnd) == expected[i].window &&
                                  (!expected[i].checkWParam || got[i].wParam == expected[i].wParam);
                if (!same) {
                    ok = false;
                    line += "   <-- differs";
                }
            }
            text += line + "\n";
        }
        if (ok) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "message sequence:\n" << text;
    }

    std::vector<UINT> MessagesOf(HWND hwnd) const
    {
        std::vector<UINT> out;
        for (const Recorded& r : log_)
            if (r.hwnd == hwnd) out.push_back(r.message);
        return out;
    }

private:
    std::string NameOf(HWND hwnd) const
    {
        auto it = names_.find(hwnd);
        return it == names_.end() ? "?" : it->second;
    }
    static std::string Hex(UINT v)
    {
        char buf[16];
        std::snprintf(buf, sizeof(buf), "0x%04X", v);
        return buf;
    }
    std::vector<Recorded> log_;
    std::map<HWND, std::string> names_;
    bool enabled_ = true;
};

// Per-window behaviour on top of recording, keyed by window.
using Handler = std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)>;
inline std::map<HWND, Handler>& Handlers()
{
    static std::map<HWND, Handler> handlers;
    return handlers;
}

inline LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!Recorder::Ignored(msg)) Recorder::Get().Add(Recorded{hwnd, msg, wParam, lParam});
    auto it = Handlers().find(hwnd);
    if (it != Handlers().end()) {
        LRESULT result = 0;
        Handler handler = it->second;
        if (handler(hwnd, msg, wParam, lParam, &result)) return result;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

inline ATOM RegisterTestClass(LPCWSTR name, WNDPROC proc, HCURSOR cursor = nullptr, HBRUSH brush = nullptr)
{
    const WNDCLASSEXW wc{sizeof(WNDCLASSEXW), 0, proc, 0, 0, nullptr, nullptr, cursor, brush, nullptr, name, nullptr};
    return RegisterClassExW(&wc);
}

inline LPCWSTR RecordingClass()
{
    static ATOM atom = RegisterTestClass(u"QorTestRecording", RecordingProc);
    return atom ? u"QorTestRecording" : nullptr;
}

class UserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QorResetInput();
        Recorder::Get().Clear();
    }
    void TearDown() override
    {
        Recorder::Get().Enable(false);
        for (auto it = created_.rbegin(); it != created_.rend(); ++it)
            if (IsWindow(*it)) DestroyWindow(*it);
        Recorder::Get().Enable(true);
        Handlers().clear();
        ReleaseCapture();
        ClipCursor(nullptr);
        QorResetInput();
        QorSetClockAutoAdvance(FALSE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        Recorder::Get().Clear();
    }
    HWND Create(const char* name, DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr, DWORD exStyle = 0,
                UINT_PTR id = 0)
    {
        HWND hwnd = CreateWindowExW(exStyle, RecordingClass(), u"", style, x, y, cx, cy, parent,
                                    reinterpret_cast<HMENU>(id), nullptr, nullptr);
        if (hwnd) {
            Recorder::Get().Name(hwnd, name);
            created_.push_back(hwnd);
        }
        return hwnd;
    }
    // Creates, then forgets what the creation sent.
    HWND CreateQuiet(const char* name, DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr,
                     DWORD exStyle = 0)
    {
        HWND hwnd = Create(name, style, x, y, cx, cy, parent, exStyle);
        Recorder::Get().Clear();
        return hwnd;
    }
    // Pumps until the queue is empty (GetMessageW would end with FALSE here as well).
    static void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    std::vector<HWND> created_;
};

}  // namespace usertest
