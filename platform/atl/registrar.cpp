// The registrar: registry scripts replaced, parsed into a tree, then run through the Reg*
// functions (the format and the rules of both modes are in atlreg.h).
#include "atlreg.h"

#include <atomic>
#include <climits>
#include <optional>
#include <string_view>

namespace ATL {
namespace {

std::atomic<bool> g_bPerUser{false};

// Script text in the API's character type.
using Text = std::basic_string<OLECHAR>;
using TextView = std::basic_string_view<OLECHAR>;

using Replacements = std::vector<std::pair<Text, Text>>;

// Scripts nest keys by recursion; a hostile script must not exhaust the stack.
constexpr int kMaxDepth = 64;

struct SyntaxError {};

enum class KeyFlag { None, NoRemove, ForceRemove, Delete };

struct Value {
    Text name;  // empty: the key's default value
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
};

struct Key {
    Text name;
    KeyFlag flag = KeyFlag::None;
    std::vector<Value> values;  // the default value, if any, and the named ones
    std::vector<Key> subkeys;
};

struct Root {
    HKEY hkey;
    bool classes;  // HKCR, which per-user registration moves
    std::vector<Key> keys;
};

bool SameText(TextView a, TextView b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        OLECHAR x = a[i], y = b[i];
        if (x >= OLESTR('a') && x <= OLESTR('z'))
            x = static_cast<OLECHAR>(x - 32);
        if (y >= OLESTR('a') && y <= OLESTR('z'))
            y = static_cast<OLECHAR>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

// %NAME% replacement over the whole text, before any parsing (values are usually quoted
// replacements such as '%MODULE%').
std::optional<Text> Replace(TextView script, const Replacements& map)
{
    Text out;
    out.reserve(script.size());
    for (size_t pos = 0; pos < script.size();) {
        const OLECHAR c = script[pos];
        if (c != OLESTR('%')) {
            out += c;
            ++pos;
            continue;
        }
        const size_t end = script.find(OLESTR('%'), pos + 1);
        if (end == TextView::npos)
            return std::nullopt;
        const TextView name = script.substr(pos + 1, end - pos - 1);
        if (name.empty()) {
            out += OLESTR('%');
        } else {
            const Text* text = nullptr;
            for (const auto& [key, item] : map) {
                if (SameText(key, name))
                    text = &item;
            }
            if (!text)
                return std::nullopt;
            out += *text;
        }
        pos = end + 1;
    }
    return out;
}

struct Token {
    Text text;
    bool quoted = false;
};

bool IsSpace(OLECHAR c) { return c == OLESTR(' ') || c == OLESTR('\t') || c == OLESTR('\r') || c == OLESTR('\n'); }

std::vector<Token> Tokenize(TextView text)
{
    std::vector<Token> tokens;
    size_t pos = 0;
    while (true) {
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        if (pos == text.size())
            return tokens;
        Token token;
        if (text[pos] == OLESTR('\'')) {
            token.quoted = true;
            for (++pos;; ++pos) {
                if (pos == text.size())
                    throw SyntaxError{};
                if (text[pos] == OLESTR('\'')) {
                    if (pos + 1 < text.size() && text[pos + 1] == OLESTR('\'')) {
                        token.text += OLESTR('\'');
                        ++pos;
                        continue;
                    }
                    ++pos;
                    break;
                }
                token.text += text[pos];
            }
            // A quoted text is a token of its own: "'a'b" is not two tokens run together.
            if (pos < text.size() && !IsSpace(text[pos]))
                throw SyntaxError{};
        } else {
            while (pos < text.size() && !IsSpace(text[pos]))
                token.text += text[pos++];
        }
        tokens.push_back(std::move(token));
    }
}

int HexDigit(OLECHAR c)
{
    if (c >= OLESTR('0') && c <= OLESTR('9'))
        return c - OLESTR('0');
    if (c >= OLESTR('a') && c <= OLESTR('f'))
        return c - OLESTR('a') + 10;
    if (c >= OLESTR('A') && c <= OLESTR('F'))
        return c - OLESTR('A') + 10;
    return -1;
}

DWORD ParseDword(TextView text)
{
    unsigned base = 10;
    if (text.starts_with(OLESTR("&H")) || text.starts_with(OLESTR("&h")) || text.starts_with(OLESTR("0x")) || text.starts_with(OLESTR("0X"))) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        throw SyntaxError{};
    unsigned long long value = 0;
    for (OLECHAR c : text) {
        const int digit = HexDigit(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            throw SyntaxError{};
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull)
            throw SyntaxError{};
    }
    return static_cast<DWORD>(value);
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    std::vector<Root> Script()
    {
        std::vector<Root> roots;
        while (!AtEnd()) {
            Root root = RootName(Next());
            Expect(OLESTR("{"));
            // A root holds keys only.
            while (!Peek(OLESTR("}"))) {
                if (Peek(OLESTR("val")))
                    throw SyntaxError{};
                root.keys.push_back(ParseKey(1));
            }
            Next();
            roots.push_back(std::move(root));
        }
        return roots;
    }

private:
    bool AtEnd() const { return m_pos == m_tokens.size(); }

    const Token& Next()
    {
        if (AtEnd())
            throw SyntaxError{};
        return m_tokens[m_pos++];
    }

    // True when the next token is the unquoted word (keywords and punctuation ignore case).
    bool Peek(TextView word) const
    {
        return !AtEnd() && !m_tokens[m_pos].quoted && SameText(m_tokens[m_pos].text, word);
    }

    void Expect(TextView word)
    {
        if (!Peek(word))
            throw SyntaxError{};
        ++m_pos;
    }

    static Root RootName(const Token& token)
    {
        struct Known {
            TextView shortName, longName;
            HKEY hkey;
        };
        static const Known known[] = {{OLESTR("HKCR"), OLESTR("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT},
                                      {OLESTR("HKCU"), OLESTR("HKEY_CURRENT_USER"), HKEY_CURRENT_USER},
                                      {OLESTR("HKLM"), OLESTR("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE},
                                      {OLESTR("HKU"), OLESTR("HKEY_USERS"), HKEY_USERS}};
        if (!token.quoted) {
            for (const Known& k : known) {
                if (SameText(token.text, k.shortName) || SameText(token.text, k.longName))
                    return Root{k.hkey, k.hkey == HKEY_CLASSES_ROOT, {}};
            }
        }
        throw SyntaxError{};
    }

    // A key or value name: a word that is not punctuation, or any non-empty quoted text.
    Text Name()
    {
        const Token& token = Next();
        if (token.text.empty() ||
            (!token.quoted && (token.text == OLESTR("{") || token.text == OLESTR("}") || token.text == OLESTR("="))))
            throw SyntaxError{};
        return token.text;
    }

    // "= type value" after a name.
    Value Assignment(Text name)
    {
        Expect(OLESTR("="));
        Value value;
        value.name = std::move(name);
        const Token& type = Next();
        if (type.quoted)
            throw SyntaxError{};
        const Token& text = Next();
        if (SameText(type.text, OLESTR("s"))) {
            value.type = REG_SZ;
            const auto* bytes = reinterpret_cast<const BYTE*>(text.text.c_str());
            value.data.assign(bytes, bytes + (text.text.size() + 1) * sizeof(OLECHAR));
        } else if (SameText(type.text, OLESTR("d"))) {
            value.type = REG_DWORD;
            const DWORD number = ParseDword(text.text);
            const auto* bytes = reinterpret_cast<const BYTE*>(&number);
            value.data.assign(bytes, bytes + sizeof number);
        } else if (SameText(type.text, OLESTR("b"))) {
            value.type = REG_BINARY;
            if (text.text.size() % 2 != 0)
                throw SyntaxError{};
            for (size_t i = 0; i < text.text.size(); i += 2) {
                const int high = HexDigit(text.text[i]), low = HexDigit(text.text[i + 1]);
                if (high < 0 || low < 0)
                    throw SyntaxError{};
                value.data.push_back(static_cast<BYTE>(high * 16 + low));
            }
        } else {
            throw SyntaxError{};
        }
        return value;
    }

    Key ParseKey(int depth)
    {
        if (depth > kMaxDepth)
            throw SyntaxError{};
        Key key;
        if (Peek(OLESTR("NoRemove")))
            key.flag = KeyFlag::NoRemove;
        else if (Peek(OLESTR("ForceRemove")))
            key.flag = KeyFlag::ForceRemove;
        else if (Peek(OLESTR("Delete")))
            key.flag = KeyFlag::Delete;
        if (key.flag != KeyFlag::None)
            ++m_pos;
        key.name = Name();
        if (Peek(OLESTR("=")))
            key.values.push_back(Assignment(OLESTR("")));
        if (Peek(OLESTR("{"))) {
            ++m_pos;
            while (!Peek(OLESTR("}"))) {
                if (Peek(OLESTR("val"))) {
                    ++m_pos;
                    Text name = Name();
                    key.values.push_back(Assignment(std::move(name)));
                } else {
                    key.subkeys.push_back(ParseKey(depth + 1));
                }
            }
            ++m_pos;
        }
        return key;
    }

    std::vector<Token> m_tokens;
    size_t m_pos = 0;
};

// A key handle closed on every path out.
struct KeyHandle {
    HKEY hkey = nullptr;
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle()
    {
        if (hkey)
            RegCloseKey(hkey);
    }
};

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;

LSTATUS DeleteTree(HKEY parent, const Text& name)
{
    const LSTATUS status = RegDeleteTreeW(parent, name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS RegisterKey(HKEY parent, const Key& key)
{
    if (key.flag == KeyFlag::Delete)
        return DeleteTree(parent, key.name);
    if (key.flag == KeyFlag::ForceRemove) {
        if (const LSTATUS status = DeleteTree(parent, key.name))
            return status;
    }
    KeyHandle hkey;
    if (const LSTATUS status = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                                               nullptr, &hkey.hkey, nullptr))
        return status;
    for (const Value& value : key.values) {
        if (const LSTATUS status = RegSetValueExW(hkey.hkey, value.name.empty() ? nullptr : value.name.c_str(), 0, value.type,
                                                  value.data.data(), static_cast<DWORD>(value.data.size())))
            return status;
    }
    for (const Key& subkey : key.subkeys) {
        if (const LSTATUS status = RegisterKey(hkey.hkey, subkey))
            return status;
    }
    return ERROR_SUCCESS;
}

// Runs on after a failure so that as much as possible is taken back; the first failure
// is the result.
LSTATUS UnregisterKey(HKEY parent, const Key& key)
{
    if (key.flag == KeyFlag::Delete)
        return ERROR_SUCCESS;
    if (key.flag == KeyFlag::ForceRemove)
        return DeleteTree(parent, key.name);
    KeyHandle hkey;
    LSTATUS result = RegOpenKeyExW(parent, key.name.c_str(), 0, kAccess, &hkey.hkey);
    if (result == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS)
        return result;
    auto note = [&result](LSTATUS status) {
        if (result == ERROR_SUCCESS && status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            result = status;
    };
    for (const Key& subkey : key.subkeys)
        note(UnregisterKey(hkey.hkey, subkey));
    for (const Value& value : key.values) {
        if (!value.name.empty())
            note(RegDeleteValueW(hkey.hkey, value.name.c_str()));
    }
    if (key.flag == KeyFlag::NoRemove)
        return result;
    DWORD subkeys = 0;
    note(RegQueryInfoKeyW(hkey.hkey, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr));
    if (result == ERROR_SUCCESS && subkeys == 0)
        note(RegDeleteKeyW(parent, key.name.c_str()));
    return result;
}

// The key a root stands for: HKCR moves to the user's classes under per-user registration.
LSTATUS OpenRoot(const Root& root, BOOL bRegister, KeyHandle* owned, HKEY* hkey)
{
    if (!root.classes || !g_bPerUser.load()) {
        *hkey = root.hkey;
        return ERROR_SUCCESS;
    }
    const LSTATUS status = bRegister ? RegCreateKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Classes"), 0, nullptr,
                                                       REG_OPTION_NON_VOLATILE, kAccess, nullptr, &owned->hkey, nullptr)
                                     : RegOpenKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Classes"), 0, kAccess, &owned->hkey);
    *hkey = owned->hkey;
    return status;
}

// Registration stops at the first failure; unregistration goes on through the remaining
// keys and returns the first failure.
LSTATUS Run(const std::vector<Root>& roots, BOOL bRegister)
{
    LSTATUS result = ERROR_SUCCESS;
    auto failed = [&](LSTATUS status) {
        if (result == ERROR_SUCCESS)
            result = status;
        return bRegister;
    };
    for (const Root& root : roots) {
        KeyHandle owned;
        HKEY hkey = nullptr;
        if (const LSTATUS status = OpenRoot(root, bRegister, &owned, &hkey)) {
            // Nothing to unregister under a root that does not exist.
            if ((bRegister || status != ERROR_FILE_NOT_FOUND) && failed(status))
                return result;
            continue;
        }
        for (const Key& key : root.keys) {
            const LSTATUS status = bRegister ? RegisterKey(hkey, key) : UnregisterKey(hkey, key);
            if (status != ERROR_SUCCESS && failed(status))
                return result;
        }
    }
    return result;
}

// Script bytes from a resource: UTF-16 with its byte order mark, else UTF-8 (its mark is
// optional). The text ends at the first NUL, as a resource script may carry one.
std::optional<Text> DecodeScript(const BYTE* data, size_t size)
{
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        Text text;
        for (size_t i = 2; i + 1 < size; i += 2)
            text += static_cast<OLECHAR>(data[i] | (data[i + 1] << 8));
        return text.substr(0, text.find(OLESTR('\0')));
    }
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    bytes = bytes.substr(0, bytes.find('\0'));
    if (bytes.empty())
        return Text();
    if (bytes.size() > static_cast<size_t>(INT_MAX))
        return std::nullopt;
    const int cbBytes = static_cast<int>(bytes.size());
    const int cchText = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), cbBytes, nullptr, 0);
    if (cchText <= 0)
        return std::nullopt;
    Text text(static_cast<size_t>(cchText), OLECHAR(0));
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), cbBytes, text.data(), cchText) != cchText)
        return std::nullopt;
    return text;
}

HRESULT RunScript(LPCOLESTR script, const Replacements& replacements, BOOL bRegister)
{
    if (!script)
        return E_INVALIDARG;
    try {
        const std::optional<Text> text = Replace(script, replacements);
        if (!text)
            return DISP_E_EXCEPTION;
        const std::vector<Root> roots = Parser(Tokenize(*text)).Script();
        const LSTATUS status = Run(roots, bRegister);
        if (status == ERROR_SUCCESS)
            return S_OK;
        if (bRegister)
            Run(roots, FALSE);
        return HRESULT_FROM_WIN32(status);
    } catch (const SyntaxError&) {
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT RunModuleResource(HMODULE hModule, LPCOLESTR szID, LPCOLESTR szType, const Replacements& replacements,
                          BOOL bRegister)
{
    HRSRC hResource = FindResourceW(hModule, szID, szType);
    if (!hResource)
        return HRESULT_FROM_WIN32(GetLastError());
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(hModule, hResource)));
    if (!data)
        return HRESULT_FROM_WIN32(GetLastError());
    const std::optional<Text> script = DecodeScript(data, SizeofResource(hModule, hResource));
    return script ? RunScript(script->c_str(), replacements, bRegister) : DISP_E_EXCEPTION;
}

// A module that is loaded already (the usual case: a server registering itself) is used as
// it is; another one is loaded for the duration.
HRESULT RunModuleFileResource(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType,
                              const Replacements& replacements, BOOL bRegister)
{
    if (!resFileName || !szID || !szType)
        return E_INVALIDARG;
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExW(0, resFileName, &hModule) && !(hModule = LoadLibraryW(resFileName)))
        return HRESULT_FROM_WIN32(GetLastError());
    const HRESULT hr = RunModuleResource(hModule, szID, szType, replacements, bRegister);
    FreeLibrary(hModule);
    return hr;
}

}  // namespace

HRESULT CRegObject::AddReplacement(LPCOLESTR lpszKey, LPCOLESTR lpszItem)
{
    if (!lpszKey || !lpszItem)
        return E_INVALIDARG;
    m_replacements.emplace_back(lpszKey, lpszItem);
    return S_OK;
}

HRESULT CRegObject::ClearReplacements()
{
    m_replacements.clear();
    return S_OK;
}

HRESULT CRegObject::StringRegister(LPCOLESTR bstrData) { return RunScript(bstrData, m_replacements, TRUE); }
HRESULT CRegObject::StringUnregister(LPCOLESTR bstrData) { return RunScript(bstrData, m_replacements, FALSE); }

HRESULT CRegObject::ResourceRegister(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType)
{
    return RunModuleFileResource(resFileName, MAKEINTRESOURCEW(nID), szType, m_replacements, TRUE);
}
HRESULT CRegObject::ResourceUnregister(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType)
{
    return RunModuleFileResource(resFileName, MAKEINTRESOURCEW(nID), szType, m_replacements, FALSE);
}
HRESULT CRegObject::ResourceRegisterSz(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType)
{
    return RunModuleFileResource(resFileName, szID, szType, m_replacements, TRUE);
}
HRESULT CRegObject::ResourceUnregisterSz(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType)
{
    return RunModuleFileResource(resFileName, szID, szType, m_replacements, FALSE);
}

HRESULT AtlUpdateRegistryFromResource(HINSTANCE hInstance, UINT nResID, BOOL bRegister,
                                      const _ATL_REGMAP_ENTRY* pMapEntries)
{
    WCHAR szModule[MAX_PATH];
    const DWORD length = GetModuleFileNameW(hInstance, szModule, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return HRESULT_FROM_WIN32(length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
    try {
        // %MODULE% usually stands inside a quoted text, so its quotes are doubled;
        // %MODULE_RAW% is the path as it is.
        Replacements replacements;
        Text escaped;
        for (const WCHAR* c = szModule; *c; ++c) {
            escaped += *c;
            if (*c == OLESTR('\''))
                escaped += OLESTR('\'');
        }
        replacements.emplace_back(OLESTR("Module"), escaped);
        replacements.emplace_back(OLESTR("Module_Raw"), szModule);
        for (const _ATL_REGMAP_ENTRY* entry = pMapEntries; entry && entry->szKey; ++entry) {
            if (!entry->szData)
                return E_INVALIDARG;
            replacements.emplace_back(entry->szKey, entry->szData);
        }
        return RunModuleResource(hInstance, MAKEINTRESOURCEW(nResID), OLESTR("REGISTRY"), replacements, bRegister);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace ATL

HRESULT WINAPI AtlSetPerUserRegistration(bool bEnable)
{
    ATL::g_bPerUser.store(bEnable);
    return S_OK;
}

HRESULT WINAPI AtlGetPerUserRegistration(bool* pbEnabled)
{
    if (!pbEnabled)
        return E_POINTER;
    *pbEnabled = ATL::g_bPerUser.load();
    return S_OK;
}
