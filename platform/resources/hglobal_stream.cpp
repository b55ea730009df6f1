// CreateStreamOnHGlobal: an IStream over a global memory block. Clones share the block
// (and its size) and keep positions of their own; the block is freed with the last of
// them when the stream was created with fDeleteOnRelease.
#include <objidl.h>
#include <winbase.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr DWORD kStgmReadWrite = 0x00000002;

// The block the streams share. It is reallocated as the stream grows or shrinks, which
// may give a fixed block a new handle.
struct SharedBlock {
    HGLOBAL handle;
    bool deleteOnRelease;
    SharedBlock(HGLOBAL h, bool deleteIt) : handle(h), deleteOnRelease(deleteIt) {}
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;
    ~SharedBlock()
    {
        if (deleteOnRelease)
            GlobalFree(handle);
    }
    ULONGLONG Size() const { return GlobalSize(handle); }
    bool Resize(ULONGLONG size)
    {
        HGLOBAL moved = GlobalReAlloc(handle, static_cast<SIZE_T>(size), GMEM_MOVEABLE);
        if (!moved)
            return false;
        handle = moved;
        return true;
    }
};

class HGlobalStream final : public IStream {
public:
    HGlobalStream(std::shared_ptr<SharedBlock> block, ULONGLONG position)
        : m_block(std::move(block)), m_position(position)
    {
    }

    HGLOBAL Handle() const { return m_block->handle; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *ppvObject = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

    // ISequentialStream: a read at or past the end reads nothing and succeeds.
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (!pv)
            return STG_E_INVALIDPOINTER;
        const ULONGLONG size = m_block->Size();
        const ULONG n = m_position < size ? static_cast<ULONG>(std::min<ULONGLONG>(cb, size - m_position)) : 0;
        if (n) {
            const BYTE* data = static_cast<const BYTE*>(GlobalLock(m_block->handle));
            if (!data)
                return E_OUTOFMEMORY;
            std::memcpy(pv, data + m_position, n);
            GlobalUnlock(m_block->handle);
            m_position += n;
        }
        if (pcbRead)
            *pcbRead = n;
        return S_OK;
    }

    // A write past the end grows the block (a gap left by a seek is zero-filled).
    STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten)
            *pcbWritten = 0;
        if (!pv)
            return STG_E_INVALIDPOINTER;
        if (cb == 0)
            return S_OK;
        const ULONGLONG end = m_position + cb;
        if (end > 0xFFFFFFFFull)
            return STG_E_MEDIUMFULL;
        const ULONGLONG size = m_block->Size();
        if (end > size) {
            if (!m_block->Resize(end))
                return STG_E_MEDIUMFULL;
        }
        BYTE* data = static_cast<BYTE*>(GlobalLock(m_block->handle));
        if (!data)
            return E_OUTOFMEMORY;
        if (m_position > size)
            std::memset(data + size, 0, static_cast<size_t>(m_position - size));
        std::memcpy(data + m_position, pv, cb);
        GlobalUnlock(m_block->handle);
        m_position = end;
        if (pcbWritten)
            *pcbWritten = cb;
        return S_OK;
    }

    // IStream. Positions stay within 32 bits, as for Windows' memory streams; seeking past
    // the end is allowed and does not grow the block.
    STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override
    {
        LONGLONG base = 0;
        switch (dwOrigin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(m_position); break;
        case STREAM_SEEK_END: base = static_cast<LONGLONG>(m_block->Size()); break;
        default: return STG_E_INVALIDFUNCTION;
        }
        const LONGLONG move = dlibMove.QuadPart;
        if ((move < 0 && base + move < 0) || (move > 0 && move > 0xFFFFFFFFll - base))
            return STG_E_INVALIDFUNCTION;
        m_position = static_cast<ULONGLONG>(base + move);
        if (plibNewPosition)
            plibNewPosition->QuadPart = m_position;
        return S_OK;
    }

    STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) override
    {
        if (libNewSize.u.HighPart != 0)
            return STG_E_INVALIDFUNCTION;
        const ULONGLONG size = m_block->Size();
        if (libNewSize.QuadPart == size)
            return S_OK;
        if (!m_block->Resize(libNewSize.QuadPart))
            return STG_E_MEDIUMFULL;
        if (libNewSize.QuadPart > size) {
            BYTE* data = static_cast<BYTE*>(GlobalLock(m_block->handle));
            if (!data)
                return E_OUTOFMEMORY;
            std::memset(data + size, 0, static_cast<size_t>(libNewSize.QuadPart - size));
            GlobalUnlock(m_block->handle);
        }
        return S_OK;
    }

    STDMETHODIMP CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override
    {
        if (pcbRead)
            pcbRead->QuadPart = 0;
        if (pcbWritten)
            pcbWritten->QuadPart = 0;
        if (!pstm)
            return STG_E_INVALIDPOINTER;
        BYTE chunk[4096];
        ULONGLONG left = cb.QuadPart, read = 0, written = 0;
        HRESULT hr = S_OK;
        while (left > 0) {
            ULONG got = 0, put = 0;
            hr = Read(chunk, static_cast<ULONG>(std::min<ULONGLONG>(left, sizeof chunk)), &got);
            if (FAILED(hr) || got == 0)
                break;
            read += got;
            left -= got;
            hr = pstm->Write(chunk, got, &put);
            written += put;
            if (FAILED(hr))
                break;
            if (put < got) {
                hr = STG_E_MEDIUMFULL;
                break;
            }
        }
        if (pcbRead)
            pcbRead->QuadPart = read;
        if (pcbWritten)
            pcbWritten->QuadPart = written;
        return hr;
    }

    // Memory is always current: nothing to commit or revert.
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

    // A memory stream has no name, whatever the flag asks.
    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override
    {
        UNREFERENCED_PARAMETER(grfStatFlag);
        if (!pstatstg)
            return STG_E_INVALIDPOINTER;
        *pstatstg = STATSTG{};
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize.QuadPart = m_block->Size();
        pstatstg->grfMode = kStgmReadWrite;
        return S_OK;
    }

    STDMETHODIMP Clone(IStream** ppstm) override
    {
        if (!ppstm)
            return STG_E_INVALIDPOINTER;
        *ppstm = new (std::nothrow) HGlobalStream(m_block, m_position);
        return *ppstm ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::shared_ptr<SharedBlock> m_block;
    ULONGLONG m_position;
    std::atomic<ULONG> m_refs{1};
};

}  // namespace

HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, IStream** ppstm)
{
    if (!ppstm)
        return E_INVALIDARG;
    *ppstm = nullptr;
    if (!hGlobal) {
        hGlobal = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!hGlobal)
            return E_OUTOFMEMORY;
    } else {
        SetLastError(ERROR_SUCCESS);
        if (!GlobalSize(hGlobal) && GetLastError() == ERROR_INVALID_HANDLE)
            return E_INVALIDARG;
    }
    auto block = std::make_shared<SharedBlock>(hGlobal, fDeleteOnRelease != FALSE);
    *ppstm = new (std::nothrow) HGlobalStream(std::move(block), 0);
    return *ppstm ? S_OK : E_OUTOFMEMORY;
}

HRESULT WINAPI GetHGlobalFromStream(IStream* pstm, HGLOBAL* phglobal)
{
    if (!pstm || !phglobal)
        return E_INVALIDARG;
    *phglobal = nullptr;
    auto* stream = dynamic_cast<HGlobalStream*>(pstm);
    if (!stream)
        return E_INVALIDARG;
    *phglobal = stream->Handle();
    return S_OK;
}
