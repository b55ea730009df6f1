// GlobalAlloc and friends. A fixed block's handle is its address; a moveable block's
// handle is the address of its record here, so any handle can be checked before use.
#include <winbase.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

struct Block {
    void* data = nullptr;  // null for a moveable block of size 0 (discarded)
    SIZE_T size = 0;
    bool moveable = false;
    int locks = 0;
};

// Larger requests fail as they would on a real machine, instead of reaching the
// allocator with sizes it refuses loudly.
constexpr SIZE_T kMaxBlock = SIZE_T(1) << 40;

struct Heap {
    std::mutex mutex;
    std::unordered_map<HGLOBAL, Block*> blocks;  // by handle
};

Heap& TheHeap()
{
    static Heap* heap = new Heap;
    return *heap;
}

// A fixed block of size 0 still has an address of its own.
void* Allocate(SIZE_T bytes, bool zero)
{
    const SIZE_T n = bytes ? bytes : 1;
    return zero ? std::calloc(1, n) : std::malloc(n);
}

Block* Lookup(Heap& heap, HGLOBAL hMem)
{
    auto it = heap.blocks.find(hMem);
    return it == heap.blocks.end() ? nullptr : it->second;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes)
{
    const bool moveable = (uFlags & GMEM_MOVEABLE) != 0;
    void* data = nullptr;
    if (dwBytes > kMaxBlock || ((dwBytes || !moveable) && !(data = Allocate(dwBytes, uFlags & GMEM_ZEROINIT)))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* block = new Block{data, dwBytes, moveable, 0};
    HGLOBAL handle = moveable ? static_cast<HGLOBAL>(block) : data;
    Heap& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    heap.blocks.emplace(handle, block);
    return handle;
}

// A moveable block may move unless it is locked; a fixed block moves only when the
// caller allows it with GMEM_MOVEABLE, and then gets a new handle (its new address).
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags)
{
    Heap& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    Block* block = Lookup(heap, hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const bool mayMove = block->moveable ? block->locks == 0 || (uFlags & GMEM_MOVEABLE) : (uFlags & GMEM_MOVEABLE);
    const bool zero = (uFlags & GMEM_ZEROINIT) != 0;
    if (dwBytes > kMaxBlock || (dwBytes > block->size && !mayMove)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (block->moveable && dwBytes == 0) {
        if (block->locks > 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        std::free(block->data);
        block->data = nullptr;
        block->size = 0;
        return hMem;
    }
    if (dwBytes > block->size || (mayMove && dwBytes != block->size) || !block->data) {
        void* data = std::realloc(block->data, dwBytes ? dwBytes : 1);
        if (!data) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        block->data = data;
    }
    if (zero && dwBytes > block->size)
        std::memset(static_cast<BYTE*>(block->data) + block->size, 0, dwBytes - block->size);
    block->size = dwBytes;
    if (block->moveable || block->data == hMem)
        return hMem;
    heap.blocks.erase(hMem);
    heap.blocks.emplace(block->data, block);
    return block->data;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem)
{
    Heap& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    Block* block = Lookup(heap, hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!block->moveable)
        return block->data;
    if (!block->data) {
        SetLastError(ERROR_DISCARDED);
        return nullptr;
    }
    ++block->locks;
    return block->data;
}

// TRUE while the block stays locked; FALSE with NO_ERROR when this unlocked it. A fixed
// block has no lock count and always answers TRUE, as on Windows.
BOOL WINAPI GlobalUnlock(HGLOBAL hMem)
{
    Heap& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    Block* block = Lookup(heap, hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!block->moveable)
        return TRUE;
    if (block->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--block->locks > 0)
        return TRUE;
    SetLastError(NO_ERROR);
    return FALSE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem)
{
    Heap& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    Block* block = Lookup(heap, hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return block->size;
}

// Null on success; the handle itself when it is not a block. A locked block is freed too.
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem)
{
    if (!hMem)
        return nullptr;
    Heap& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    Block* block = Lookup(heap, hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    heap.blocks.erase(hMem);
    std::free(block->data);
    delete block;
    return nullptr;
}
