// Type libraries: the text format of this platform (see oleauto.h), read from a file or a
// module's TYPELIB resource, and the ITypeLib that describes it.
#include <atomic>
#include <fstream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <objbase.h>
#include <oleauto.h>
#include <winbase.h>

#include "qor_text.h"

namespace {

// Larger files are not type libraries of this format; reading stops there.
constexpr std::size_t kMaxLibraryBytes = 1 << 20;

struct CoClass {
    std::u16string name;
    GUID clsid{};
};

struct Library {
    std::u16string name;
    std::optional<std::u16string> helpString;
    std::optional<std::u16string> helpFile;
    TLIBATTR attr{};
    std::vector<CoClass> coclasses;
};

struct Fault {
    HRESULT hr;
};

// Splits one line into words and quoted texts ('' is a quote inside one).
std::vector<std::u16string> Words(std::u16string_view line)
{
    std::vector<std::u16string> words;
    size_t pos = 0;
    while (true) {
        while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t'))
            ++pos;
        if (pos == line.size())
            return words;
        std::u16string word;
        if (line[pos] == u'\'') {
            for (++pos;; ++pos) {
                if (pos == line.size())
                    throw Fault{TYPE_E_INVDATAREAD};
                if (line[pos] == u'\'') {
                    if (pos + 1 < line.size() && line[pos + 1] == u'\'') {
                        word += u'\'';
                        ++pos;
                        continue;
                    }
                    ++pos;
                    break;
                }
                word += line[pos];
            }
        } else {
            while (pos < line.size() && line[pos] != u' ' && line[pos] != u'\t')
                word += line[pos++];
        }
        words.push_back(std::move(word));
    }
}

WORD Number(std::u16string_view text)
{
    if (text.empty() || text.size() > 5)
        throw Fault{TYPE_E_INVDATAREAD};
    unsigned value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            throw Fault{TYPE_E_INVDATAREAD};
        value = value * 10 + (c - u'0');
    }
    if (value > 0xFFFF)
        throw Fault{TYPE_E_INVDATAREAD};
    return static_cast<WORD>(value);
}

GUID Guid(const std::u16string& text)
{
    GUID guid{};
    if (FAILED(CLSIDFromString(text.c_str(), &guid)))
        throw Fault{TYPE_E_INVDATAREAD};
    return guid;
}

Library Parse(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    const std::u16string text = qor::ToUtf16(bytes);
    if (qor::ToUtf8(text) != bytes)
        throw Fault{TYPE_E_CANTLOADLIBRARY};

    Library library;
    bool seenHeader = false, seenName = false, seenUuid = false, seenVersion = false, seenLcid = false,
         seenFlags = false;
    auto once = [](bool& seen) {
        if (seen)
            throw Fault{TYPE_E_INVDATAREAD};
        seen = true;
    };
    std::u16string_view rest(text);
    while (!rest.empty()) {
        const size_t end = rest.find(u'\n');
        std::u16string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::u16string_view::npos ? rest.size() : end + 1);
        if (line.ends_with(u'\r'))
            line.remove_suffix(1);
        std::vector<std::u16string> words;
        try {
            words = Words(line);
        } catch (const Fault&) {
            // Before the header the text is not a type library of this platform at all.
            throw Fault{seenHeader ? TYPE_E_INVDATAREAD : TYPE_E_CANTLOADLIBRARY};
        }
        if (words.empty() || words[0].starts_with(u'#'))
            continue;
        if (!seenHeader) {
            if (words[0] != u"QORTYPELIB" || words.size() != 2)
                throw Fault{TYPE_E_CANTLOADLIBRARY};
            if (words[1] != u"1")
                throw Fault{TYPE_E_UNSUPFORMAT};
            seenHeader = true;
            continue;
        }
        const std::u16string& keyword = words[0];
        const size_t expected = keyword == u"coclass" ? 3 : 2;
        if (words.size() != expected)
            throw Fault{TYPE_E_INVDATAREAD};
        const std::u16string& arg = words[1];
        if (keyword == u"library") {
            once(seenName);
            if (arg.empty())
                throw Fault{TYPE_E_INVDATAREAD};
            library.name = arg;
        } else if (keyword == u"uuid") {
            once(seenUuid);
            library.attr.guid = Guid(arg);
        } else if (keyword == u"version") {
            once(seenVersion);
            const size_t dot = arg.find(u'.');
            if (dot == std::u16string::npos)
                throw Fault{TYPE_E_INVDATAREAD};
            library.attr.wMajorVerNum = Number(std::u16string_view(arg).substr(0, dot));
            library.attr.wMinorVerNum = Number(std::u16string_view(arg).substr(dot + 1));
        } else if (keyword == u"lcid") {
            once(seenLcid);
            library.attr.lcid = Number(arg);
        } else if (keyword == u"flags") {
            once(seenFlags);
            library.attr.wLibFlags = Number(arg);
        } else if (keyword == u"helpstring") {
            if (library.helpString)
                throw Fault{TYPE_E_INVDATAREAD};
            library.helpString = arg;
        } else if (keyword == u"helpfile") {
            if (library.helpFile)
                throw Fault{TYPE_E_INVDATAREAD};
            library.helpFile = arg;
        } else if (keyword == u"coclass") {
            if (arg.empty())
                throw Fault{TYPE_E_INVDATAREAD};
            library.coclasses.push_back({arg, Guid(words[2])});
        } else {
            throw Fault{TYPE_E_INVDATAREAD};
        }
    }
    if (!seenHeader)
        throw Fault{TYPE_E_CANTLOADLIBRARY};
    if (!seenName || !seenUuid || !seenVersion)
        throw Fault{TYPE_E_INVDATAREAD};
    library.attr.syskind = SYS_WIN64;
    return library;
}

class TypeLib final : public ITypeLib {
public:
    explicit TypeLib(Library library) : m_library(std::move(library)) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_ITypeLib)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<ITypeLib*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

    STDMETHOD_(UINT, GetTypeInfoCount)() override { return static_cast<UINT>(m_library.coclasses.size()); }
    STDMETHOD(GetTypeInfo)(UINT, ITypeInfo** ppTInfo) override { return NotProvided(ppTInfo); }
    STDMETHOD(GetTypeInfoType)(UINT index, TYPEKIND* pTKind) override
    {
        if (!pTKind)
            return E_INVALIDARG;
        if (index >= m_library.coclasses.size())
            return TYPE_E_ELEMENTNOTFOUND;
        *pTKind = TKIND_COCLASS;
        return S_OK;
    }
    STDMETHOD(GetTypeInfoOfGuid)(REFGUID, ITypeInfo** ppTinfo) override { return NotProvided(ppTinfo); }
    STDMETHOD(GetLibAttr)(TLIBATTR** ppTLibAttr) override
    {
        if (!ppTLibAttr)
            return E_INVALIDARG;
        *ppTLibAttr = new (std::nothrow) TLIBATTR(m_library.attr);
        return *ppTLibAttr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHOD(GetTypeComp)(ITypeComp** ppTComp) override { return NotProvided(ppTComp); }
    // Index -1 is the library itself; absent texts come back as null BSTRs.
    STDMETHOD(GetDocumentation)(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                BSTR* pBstrHelpFile) override
    {
        if (index < -1 || (index >= 0 && static_cast<size_t>(index) >= m_library.coclasses.size()))
            return TYPE_E_ELEMENTNOTFOUND;
        const std::u16string* name = index == -1 ? &m_library.name : &m_library.coclasses[index].name;
        const std::u16string* doc = index == -1 && m_library.helpString ? &*m_library.helpString : nullptr;
        const std::u16string* file = m_library.helpFile ? &*m_library.helpFile : nullptr;
        BSTR texts[3] = {};
        const std::u16string* sources[3] = {pBstrName ? name : nullptr, pBstrDocString ? doc : nullptr,
                                            pBstrHelpFile ? file : nullptr};
        for (int i = 0; i < 3; ++i) {
            if (sources[i] && !(texts[i] = SysAllocStringLen(sources[i]->data(), static_cast<UINT>(sources[i]->size())))) {
                for (BSTR text : texts)
                    SysFreeString(text);
                return E_OUTOFMEMORY;
            }
        }
        if (pBstrName)
            *pBstrName = texts[0];
        if (pBstrDocString)
            *pBstrDocString = texts[1];
        if (pdwHelpContext)
            *pdwHelpContext = 0;
        if (pBstrHelpFile)
            *pBstrHelpFile = texts[2];
        return S_OK;
    }
    STDMETHOD(IsName)(LPOLESTR, ULONG, BOOL*) override { return E_NOTIMPL; }
    STDMETHOD(FindName)(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override { return E_NOTIMPL; }
    STDMETHOD_(void, ReleaseTLibAttr)(TLIBATTR* pTLibAttr) override { delete pTLibAttr; }

private:
    // Type information of the members is not part of this platform's libraries.
    template <class T>
    static HRESULT NotProvided(T** pp)
    {
        if (pp)
            *pp = nullptr;
        return E_NOTIMPL;
    }

    std::atomic<ULONG> m_refs{1};
    Library m_library;
};

// An API path on the disk: '\' becomes '/'. Broken UTF-16 names no file.
std::optional<std::string> DiskPath(std::u16string_view path)
{
    std::string utf8 = qor::ToUtf8(path);
    if (qor::ToUtf16(utf8) != path)
        return std::nullopt;
    for (char& c : utf8) {
        if (c == '\\')
            c = '/';
    }
    return utf8;
}

bool IsFile(const std::u16string& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The first bytes of a file, up to the limit (one more, so that a larger file shows).
std::optional<std::string> ReadFile(const std::u16string& path, std::size_t limit)
{
    const std::optional<std::string> disk = DiskPath(path);
    if (!disk)
        return std::nullopt;
    std::ifstream file(*disk, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string bytes(limit + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

// Resource TYPELIB index of a module, which is loaded for the duration unless it is loaded
// already (a server registering itself).
std::string ModuleResource(const std::u16string& path, WORD index)
{
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExW(0, path.c_str(), &hModule) && !(hModule = LoadLibraryW(path.c_str())))
        throw Fault{TYPE_E_CANTLOADLIBRARY};
    std::string bytes;
    HRSRC hResource = FindResourceW(hModule, MAKEINTRESOURCEW(index), u"TYPELIB");
    const char* data = hResource ? static_cast<const char*>(LockResource(LoadResource(hModule, hResource))) : nullptr;
    if (data)
        bytes.assign(data, std::min<std::size_t>(SizeofResource(hModule, hResource), kMaxLibraryBytes + 1));
    FreeLibrary(hModule);
    if (!data)
        throw Fault{TYPE_E_CANTLOADLIBRARY};
    return bytes;
}

// The bytes of the library that a LoadTypeLib path names.
std::string LibraryBytes(std::u16string path)
{
    std::optional<WORD> index;
    if (!IsFile(path)) {
        // "<module>\N": a resource number after the last backslash.
        const size_t slash = path.rfind(u'\\');
        if (slash == std::u16string::npos || slash + 1 == path.size())
            throw Fault{TYPE_E_CANTLOADLIBRARY};
        const std::u16string_view digits = std::u16string_view(path).substr(slash + 1);
        try {
            index = Number(digits);
        } catch (const Fault&) {
            throw Fault{TYPE_E_CANTLOADLIBRARY};
        }
        path.resize(slash);
        if (*index == 0 || !IsFile(path))
            throw Fault{TYPE_E_CANTLOADLIBRARY};
    }
    const std::optional<std::string> head = ReadFile(path, index ? 4 : kMaxLibraryBytes);
    if (!head)
        throw Fault{TYPE_E_CANTLOADLIBRARY};
    const bool isModule = head->starts_with("\x7F" "ELF");
    if (isModule)
        return ModuleResource(path, index.value_or(1));
    if (index)
        throw Fault{TYPE_E_CANTLOADLIBRARY};
    return *head;
}

}  // namespace

HRESULT WINAPI LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib)
{
    if (!pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    if (!szFile || regkind < REGKIND_DEFAULT || regkind > REGKIND_NONE)
        return E_INVALIDARG;
    try {
        const std::string bytes = LibraryBytes(szFile);
        if (bytes.size() > kMaxLibraryBytes)
            return TYPE_E_INVDATAREAD;
        TypeLib* library = new TypeLib(Parse(bytes));
        if (regkind == REGKIND_REGISTER) {
            const HRESULT hr = RegisterTypeLib(library, szFile, nullptr);
            if (FAILED(hr)) {
                library->Release();
                return hr;
            }
        }
        *pptlib = library;
        return S_OK;
    } catch (const Fault& fault) {
        return fault.hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WINAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib)
{
    // Windows registers a library loaded by a bare file name only; paths here are full.
    return LoadTypeLibEx(szFile, REGKIND_NONE, pptlib);
}
