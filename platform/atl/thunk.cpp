// The pool of window procedure thunks. Windows builds each thunk as a few bytes of machine
// code; here the pool is a fixed table of ordinary functions, one per slot, so no memory is
// ever made executable. The pool is shared by every module of the process.
#include "atlthunk.h"

#include <array>
#include <atomic>
#include <mutex>
#include <utility>

namespace ATL {
namespace {

constexpr std::size_t kPoolSize = 1024;

struct Slot {
    std::atomic<void*> pThis{nullptr};
    std::atomic<_AtlThunkTarget> pfnTarget{nullptr};
    bool bInUse = false;  // guarded by g_poolLock
};

std::array<Slot, kPoolSize> g_slots;
std::mutex g_poolLock;

template <std::size_t N>
LRESULT CALLBACK ThunkProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    const Slot& slot = g_slots[N];
    _AtlThunkTarget pfnTarget = slot.pfnTarget.load(std::memory_order_acquire);
    if (pfnTarget == nullptr)
        return 0;
    return pfnTarget(slot.pThis.load(std::memory_order_acquire), hWnd, uMsg, wParam, lParam);
}

template <std::size_t... N>
constexpr std::array<_AtlThunkProc, sizeof...(N)> MakeThunkTable(std::index_sequence<N...>)
{
    return {&ThunkProc<N>...};
}

constexpr std::array<_AtlThunkProc, kPoolSize> kThunks = MakeThunkTable(std::make_index_sequence<kPoolSize>());

// The slot of a thunk, or kPoolSize for a procedure that is not one.
std::size_t SlotOf(_AtlThunkProc pThunk)
{
    for (std::size_t i = 0; i < kPoolSize; ++i) {
        if (kThunks[i] == pThunk)
            return i;
    }
    return kPoolSize;
}

}  // namespace

_AtlThunkProc AtlThunk_Allocate(void* pThis, _AtlThunkTarget pfnTarget)
{
    std::lock_guard<std::mutex> lock(g_poolLock);
    for (std::size_t i = 0; i < kPoolSize; ++i) {
        Slot& slot = g_slots[i];
        if (slot.bInUse)
            continue;
        slot.bInUse = true;
        slot.pThis.store(pThis, std::memory_order_release);
        slot.pfnTarget.store(pfnTarget, std::memory_order_release);
        return kThunks[i];
    }
    return nullptr;
}

void AtlThunk_Retarget(_AtlThunkProc pThunk, void* pThis, _AtlThunkTarget pfnTarget)
{
    std::lock_guard<std::mutex> lock(g_poolLock);
    const std::size_t i = SlotOf(pThunk);
    if (i == kPoolSize || !g_slots[i].bInUse)
        return;
    g_slots[i].pThis.store(pThis, std::memory_order_release);
    g_slots[i].pfnTarget.store(pfnTarget, std::memory_order_release);
}

void AtlThunk_Free(_AtlThunkProc pThunk)
{
    std::lock_guard<std::mutex> lock(g_poolLock);
    const std::size_t i = SlotOf(pThunk);
    if (i == kPoolSize)
        return;
    g_slots[i].pfnTarget.store(nullptr, std::memory_order_release);
    g_slots[i].pThis.store(nullptr, std::memory_order_release);
    g_slots[i].bInUse = false;
}

std::size_t AtlThunk_PoolSize() { return kPoolSize; }

}  // namespace ATL
