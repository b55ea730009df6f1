// The handle table, the per-thread queues, the user atom table and the display backend.
#include "user_private.h"

#include <winbase.h>

namespace qor::user {

std::mutex g_lock;

namespace {

struct Table {
    std::map<HWND, WindowPtr> windows;
    std::vector<HWND> topLevel;
    UINT_PTR nextHandle = 0x10010;
    std::map<std::thread::id, std::shared_ptr<ThreadQueue>> queues;
    std::map<std::u16string, ATOM> atoms;  // folded name -> atom
    std::map<ATOM, std::u16string> atomNames;
    ATOM nextAtom = 0xC000;
};

Table& T()
{
    static Table table;
    return table;
}

// Removes the thread's queue from the table when the thread ends.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder()
    {
        if (!queue) return;
        std::lock_guard<std::mutex> hold(g_lock);
        T().queues.erase(queue->thread);
    }
};

}  // namespace

std::u16string FoldCase(std::u16string_view text)
{
    std::u16string folded(text);
    for (char16_t& c : folded)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return folded;
}

WindowPtr LookupWindow(HWND hwnd)
{
    std::lock_guard<std::mutex> hold(g_lock);
    auto it = T().windows.find(hwnd);
    return it == T().windows.end() ? nullptr : it->second;
}

WindowPtr LookupWindowOrFail(HWND hwnd)
{
    WindowPtr w = LookupWindow(hwnd);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

HWND AddWindow(const WindowPtr& window)
{
    std::lock_guard<std::mutex> hold(g_lock);
    HWND hwnd = reinterpret_cast<HWND>(T().nextHandle);
    T().nextHandle += 4;  // handles are never reused within a process
    window->hwnd = hwnd;
    T().windows[hwnd] = window;
    return hwnd;
}

void RemoveWindow(HWND hwnd)
{
    std::lock_guard<std::mutex> hold(g_lock);
    T().windows.erase(hwnd);
}

std::vector<HWND>& TopLevelWindows()
{
    return T().topLevel;
}

ThreadQueue& CurrentQueue()
{
    thread_local QueueHolder holder;
    if (!holder.queue) {
        holder.queue = std::make_shared<ThreadQueue>();
        holder.queue->thread = std::this_thread::get_id();
        std::lock_guard<std::mutex> hold(g_lock);
        T().queues[holder.queue->thread] = holder.queue;
    }
    return *holder.queue;
}

std::shared_ptr<ThreadQueue> QueueOf(std::thread::id thread)
{
    auto it = T().queues.find(thread);
    return it == T().queues.end() ? nullptr : it->second;
}

HeadlessBackend& Headless()
{
    static HeadlessBackend backend;
    return backend;
}

Backend& CurrentBackend()
{
    Backend* display = DisplayBackendOrNull();
    return display ? *display : Headless();
}

ATOM AddAtom(std::u16string_view name)
{
    std::lock_guard<std::mutex> hold(g_lock);
    Table& t = T();
    std::u16string key = FoldCase(name);
    auto it = t.atoms.find(key);
    if (it != t.atoms.end()) return it->second;
    if (t.nextAtom == 0) return 0;  // the table is full (the counter wrapped past 0xFFFF)
    const ATOM atom = t.nextAtom++;
    t.atoms[key] = atom;
    t.atomNames[atom] = std::u16string(name);
    return atom;
}

bool FindAtomName(ATOM atom, std::u16string* name)
{
    std::lock_guard<std::mutex> hold(g_lock);
    auto it = T().atomNames.find(atom);
    if (it == T().atomNames.end()) return false;
    *name = it->second;
    return true;
}

}  // namespace qor::user
