// CreateStreamOnHGlobal: the IStream over a global memory block.
#include <gtest/gtest.h>
#include <objidl.h>

#include <cstring>
#include <string>

#include "test_data.h"

namespace {

struct StreamPtr {
    IStream* p = nullptr;
    ~StreamPtr()
    {
        if (p)
            p->Release();
    }
    IStream* operator->() const { return p; }
};

LARGE_INTEGER Move(LONGLONG n)
{
    LARGE_INTEGER v;
    v.QuadPart = n;
    return v;
}

ULARGE_INTEGER Size(ULONGLONG n)
{
    ULARGE_INTEGER v;
    v.QuadPart = n;
    return v;
}

ULONGLONG Seek(IStream* s, LONGLONG move, DWORD origin)
{
    ULARGE_INTEGER at{};
    EXPECT_EQ(S_OK, s->Seek(Move(move), origin, &at));
    return at.QuadPart;
}

std::string ReadAll(IStream* s, ULONG max = 256)
{
    std::string out(max, '\0');
    ULONG got = 0;
    EXPECT_EQ(S_OK, s->Read(out.data(), max, &got));
    out.resize(got);
    return out;
}

ULONGLONG StatSize(IStream* s)
{
    STATSTG st{};
    EXPECT_EQ(S_OK, s->Stat(&st, STATFLAG_NONAME));
    return st.cbSize.QuadPart;
}

// How images are decoded from resources: the bytes are copied into a moveable block, which
// the caller keeps locked while a stream reads it from the start without taking ownership.
TEST(HGlobalStream, ReadsAnExistingBlockFromTheStart)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(7), u"PNG");
    ASSERT_NE(nullptr, found);
    const DWORD size = SizeofResource(nullptr, found);
    const void* bytes = LockResource(LoadResource(nullptr, found));
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    ASSERT_NE(nullptr, h);
    void* p = GlobalLock(h);
    ASSERT_NE(nullptr, p);
    std::memcpy(p, bytes, size);
    StreamPtr s;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(h, FALSE, &s.p));
    const auto png = ReadTestFile("tiny.png");
    const std::string expected(png.begin(), png.end());
    ASSERT_GT(expected.size(), 3u);
    EXPECT_EQ(expected.substr(0, 3), ReadAll(s.p, 3));
    EXPECT_EQ(expected.substr(3), ReadAll(s.p, 1000));
    EXPECT_EQ("", ReadAll(s.p));  // at the end: nothing, and success
    HGLOBAL back = nullptr;
    EXPECT_EQ(S_OK, GetHGlobalFromStream(s.p, &back));
    EXPECT_EQ(h, back);
    s.p->Release();
    s.p = nullptr;
    EXPECT_EQ(size, GlobalSize(h));  // not deleted on release
    EXPECT_TRUE(GlobalUnlock(h) == FALSE);  // the stream's own locks are all undone
    EXPECT_EQ(nullptr, GlobalFree(h));
}

TEST(HGlobalStream, NullBlockStartsEmptyAndGrowsOnWrite)
{
    StreamPtr s;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &s.p));
    EXPECT_EQ(0u, StatSize(s.p));
    ULONG written = 0;
    EXPECT_EQ(S_OK, s->Write("abcdef", 6, &written));
    EXPECT_EQ(6u, written);
    EXPECT_EQ(6u, StatSize(s.p));
    EXPECT_EQ(6u, Seek(s.p, 0, STREAM_SEEK_CUR));
    EXPECT_EQ(0u, Seek(s.p, 0, STREAM_SEEK_SET));
    EXPECT_EQ("abcdef", ReadAll(s.p));
    // Overwrite in the middle, then write past the end after a seek: the gap reads as zeros.
    EXPECT_EQ(2u, Seek(s.p, -4, STREAM_SEEK_END));
    EXPECT_EQ(S_OK, s->Write("XY", 2, nullptr));
    EXPECT_EQ(10u, Seek(s.p, 6, STREAM_SEEK_CUR));
    EXPECT_EQ(S_OK, s->Write("!", 1, nullptr));
    EXPECT_EQ(11u, StatSize(s.p));
    Seek(s.p, 0, STREAM_SEEK_SET);
    EXPECT_EQ(std::string("abXYef\0\0\0\0!", 11), ReadAll(s.p));
    HGLOBAL h = nullptr;
    ASSERT_EQ(S_OK, GetHGlobalFromStream(s.p, &h));
    EXPECT_EQ(11u, GlobalSize(h));
}

TEST(HGlobalStream, SeekSetSizeAndStat)
{
    StreamPtr s;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &s.p));
    s->Write("0123456789", 10, nullptr);
    EXPECT_EQ(STG_E_INVALIDFUNCTION, s->Seek(Move(-1), STREAM_SEEK_SET, nullptr));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, s->Seek(Move(-11), STREAM_SEEK_END, nullptr));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, s->Seek(Move(0), 3, nullptr));
    EXPECT_EQ(10u, Seek(s.p, 0, STREAM_SEEK_CUR));  // failed seeks do not move
    EXPECT_EQ(100u, Seek(s.p, 100, STREAM_SEEK_SET));  // past the end is allowed
    EXPECT_EQ("", ReadAll(s.p));
    EXPECT_EQ(10u, StatSize(s.p));  // and does not grow the stream
    EXPECT_EQ(S_OK, s->Seek(Move(3), STREAM_SEEK_SET, nullptr));
    EXPECT_EQ("3456789", ReadAll(s.p));

    // SetSize cuts, or pads with zeros; Stat reports it.
    EXPECT_EQ(S_OK, s->SetSize(Size(2)));
    EXPECT_EQ(S_OK, s->SetSize(Size(6)));
    EXPECT_EQ(6u, StatSize(s.p));
    Seek(s.p, 0, STREAM_SEEK_SET);
    EXPECT_EQ(std::string("01\0\0\0\0", 6), ReadAll(s.p));
    EXPECT_EQ(S_OK, s->SetSize(Size(2)));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, s->SetSize(Size(1ull << 32)));

    STATSTG st;
    std::memset(&st, 0xAB, sizeof st);
    ASSERT_EQ(S_OK, s->Stat(&st, STATFLAG_DEFAULT));
    EXPECT_EQ(static_cast<DWORD>(STGTY_STREAM), st.type);
    EXPECT_EQ(nullptr, st.pwcsName);
    EXPECT_EQ(2u, st.cbSize.QuadPart);
    EXPECT_EQ(STG_E_INVALIDPOINTER, s->Stat(nullptr, STATFLAG_NONAME));
}

TEST(HGlobalStream, ClonesShareTheBlockButNotThePosition)
{
    StreamPtr s, clone;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &s.p));
    s->Write("abcd", 4, nullptr);
    Seek(s.p, 1, STREAM_SEEK_SET);
    ASSERT_EQ(S_OK, s->Clone(&clone.p));
    EXPECT_EQ(1u, Seek(clone.p, 0, STREAM_SEEK_CUR));  // starts where the original was
    EXPECT_EQ("bcd", ReadAll(clone.p));
    EXPECT_EQ(1u, Seek(s.p, 0, STREAM_SEEK_CUR));
    // A write through the clone grows the shared block, seen by the original.
    clone->Write("ef", 2, nullptr);
    EXPECT_EQ(6u, StatSize(s.p));
    EXPECT_EQ("bcdef", ReadAll(s.p));
    // The block outlives the original while the clone holds it.
    s.p->Release();
    s.p = nullptr;
    Seek(clone.p, 0, STREAM_SEEK_SET);
    EXPECT_EQ("abcdef", ReadAll(clone.p));
}

TEST(HGlobalStream, InterfacesArgumentChecksAndCopyTo)
{
    StreamPtr s;
    EXPECT_EQ(E_INVALIDARG, CreateStreamOnHGlobal(nullptr, TRUE, nullptr));
    int notABlock = 0;
    EXPECT_EQ(E_INVALIDARG, CreateStreamOnHGlobal(&notABlock, FALSE, &s.p));
    EXPECT_EQ(nullptr, s.p);
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &s.p));
    void* p = nullptr;
    ASSERT_EQ(S_OK, s->QueryInterface(IID_ISequentialStream, &p));
    EXPECT_EQ(static_cast<void*>(s.p), p);
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(E_NOINTERFACE, s->QueryInterface(IID_IClassFactory, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(STG_E_INVALIDPOINTER, s->Read(nullptr, 1, nullptr));
    EXPECT_EQ(STG_E_INVALIDPOINTER, s->Write(nullptr, 1, nullptr));
    EXPECT_EQ(STG_E_INVALIDPOINTER, s->Clone(nullptr));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, s->LockRegion(Size(0), Size(1), 0));

    // CopyTo another stream.
    StreamPtr to;
    IStream* from = s.p;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &to.p));
    std::string big(10000, 'q');
    big[9999] = 'z';
    from->Write(big.data(), static_cast<ULONG>(big.size()), nullptr);
    Seek(from, 0, STREAM_SEEK_SET);
    ULARGE_INTEGER read{}, written{};
    EXPECT_EQ(S_OK, from->CopyTo(to.p, Size(1ull << 40), &read, &written));
    EXPECT_EQ(10000u, read.QuadPart);
    EXPECT_EQ(10000u, written.QuadPart);
    Seek(to.p, 0, STREAM_SEEK_SET);
    EXPECT_EQ(big, ReadAll(to.p, 20000));
    EXPECT_EQ(STG_E_INVALIDPOINTER, from->CopyTo(nullptr, Size(1), nullptr, nullptr));
}

TEST(HGlobalStream, FixedBlockMovesWhenItGrows)
{
    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 2);
    std::memcpy(fixed, "ab", 2);
    StreamPtr s;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(fixed, TRUE, &s.p));
    Seek(s.p, 0, STREAM_SEEK_END);
    std::string more(100000, 'c');
    ASSERT_EQ(S_OK, s->Write(more.data(), static_cast<ULONG>(more.size()), nullptr));
    HGLOBAL now = nullptr;
    ASSERT_EQ(S_OK, GetHGlobalFromStream(s.p, &now));
    EXPECT_EQ(100002u, GlobalSize(now));
    EXPECT_EQ(0, std::memcmp(now, "abc", 3));
}

}  // namespace
