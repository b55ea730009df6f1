// Reads a resource script (the format is described in script.h) and builds the Win32
// binary forms of its string table and version resource.
#include "script.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

namespace rcembed {
namespace {

constexpr std::uint16_t kRtCursor = 1;
constexpr std::uint16_t kRtBitmap = 2;
constexpr std::uint16_t kRtString = 6;
constexpr std::uint16_t kRtRcdata = 10;
constexpr std::uint16_t kRtVersion = 16;

struct Token {
    std::string text;
    bool quoted = false;
    int line = 0;
};

class Tokens {
public:
    Tokens(std::string source, std::string fileName) : m_fileName(std::move(fileName)) { Split(source); }

    bool AtEnd() const { return m_next == m_tokens.size(); }
    const Token& Peek() const
    {
        if (AtEnd())
            FailNext("unexpected end of script");
        return m_tokens[m_next];
    }
    Token Next()
    {
        Token t = Peek();
        ++m_next;
        return t;
    }
    bool PeekWord(const char* word) const { return !AtEnd() && !m_tokens[m_next].quoted && m_tokens[m_next].text == word; }
    void Expect(const char* word)
    {
        if (!PeekWord(word))
            FailNext(std::string("expected ") + word);
        ++m_next;
    }
    std::string ExpectString()
    {
        if (AtEnd() || !Peek().quoted)
            FailNext("expected a quoted string");
        return Next().text;
    }
    std::uint32_t ExpectNumber(std::uint32_t max)
    {
        Token t = AtEnd() ? Token{} : Peek();
        std::optional<std::uint32_t> n = t.quoted ? std::nullopt : ParseNumber(t.text);
        if (!n || *n > max)
            FailNext("expected a number up to " + std::to_string(max));
        ++m_next;
        return *n;
    }
    // A fault in the token just read.
    [[noreturn]] void Fail(const std::string& message) const { FailAt(m_next ? m_next - 1 : 0, message); }
    // A fault in the token about to be read (what was expected is not there).
    [[noreturn]] void FailNext(const std::string& message) const { FailAt(m_next, message); }

    // Decimal, or hexadecimal with 0x.
    static std::optional<std::uint32_t> ParseNumber(const std::string& s)
    {
        bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        const char* first = s.data() + (hex ? 2 : 0);
        const char* last = s.data() + s.size();
        std::uint32_t value = 0;
        auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
        if (ec != std::errc() || end != last || first == last)
            return std::nullopt;
        return value;
    }

private:
    [[noreturn]] void FailAt(size_t token, const std::string& message) const
    {
        int line = m_tokens.empty() ? 1 : m_tokens[std::min(token, m_tokens.size() - 1)].line;
        throw ScriptError(m_fileName + ":" + std::to_string(line) + ": " + message);
    }

    void Split(const std::string& s)
    {
        int line = 1;
        size_t i = 0;
        while (i < s.size()) {
            char c = s[i];
            if (c == '\n') {
                ++line;
                ++i;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
                ++i;
            } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
                while (i < s.size() && s[i] != '\n')
                    ++i;
            } else if (c == '"') {
                m_tokens.push_back({ReadQuoted(s, i, line), true, line});
            } else {
                size_t start = i;
                while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i])) && s[i] != ',' && s[i] != '"')
                    ++i;
                m_tokens.push_back({s.substr(start, i - start), false, line});
            }
        }
    }

    std::string ReadQuoted(const std::string& s, size_t& i, int line)
    {
        std::string out;
        ++i;  // opening quote
        while (true) {
            if (i >= s.size() || s[i] == '\n')
                throw ScriptError(m_fileName + ":" + std::to_string(line) + ": unterminated string");
            char c = s[i++];
            if (c == '"') {
                if (i < s.size() && s[i] == '"') {
                    out += '"';
                    ++i;
                    continue;
                }
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            char e = i < s.size() ? s[i++] : '\0';
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            default:
                throw ScriptError(m_fileName + ":" + std::to_string(line) + ": unknown escape \\" + std::string(1, e));
            }
        }
    }

    std::string m_fileName;
    std::vector<Token> m_tokens;
    size_t m_next = 0;
};

// Little-endian byte writer for the Win32 binary layouts.
struct Bytes {
    std::vector<std::uint8_t> data;
    void Word(std::uint16_t w)
    {
        data.push_back(static_cast<std::uint8_t>(w));
        data.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    void Dword(std::uint32_t d)
    {
        Word(static_cast<std::uint16_t>(d));
        Word(static_cast<std::uint16_t>(d >> 16));
    }
    void Text(const std::u16string& s)
    {
        for (char16_t c : s)
            Word(c);
    }
    void Align4()
    {
        while (data.size() % 4)
            data.push_back(0);
    }
    void PutWordAt(size_t at, std::uint16_t w)
    {
        data[at] = static_cast<std::uint8_t>(w);
        data[at + 1] = static_cast<std::uint8_t>(w >> 8);
    }
};

// One node of VS_VERSIONINFO: wLength, wValueLength, wType, the key, the value and the
// children, each child starting on a 32-bit boundary. wValueLength counts characters for
// text (wType 1) and bytes for binary values (wType 0).
struct VersionNode {
    std::u16string key;
    bool text = false;
    std::vector<std::uint8_t> value;
    std::uint16_t valueLength = 0;
    std::vector<VersionNode> children;

    void WriteTo(Bytes& out) const
    {
        out.Align4();
        size_t start = out.data.size();
        out.Word(0);  // wLength, patched below
        out.Word(valueLength);
        out.Word(text ? 1 : 0);
        out.Text(key);
        out.Word(0);
        out.Align4();
        out.data.insert(out.data.end(), value.begin(), value.end());
        for (const VersionNode& child : children)
            child.WriteTo(out);
        size_t length = out.data.size() - start;
        if (length > 0xFFFF)
            throw std::length_error("version block larger than 64 KB");
        out.PutWordAt(start, static_cast<std::uint16_t>(length));
    }
};

struct VersionInfo {
    std::uint32_t fileVersion[2] = {0, 0};
    std::uint32_t productVersion[2] = {0, 0};
    std::uint32_t fileFlags = 0;
    std::uint32_t fileType = 0;
    std::vector<std::pair<std::uint32_t, VersionNode>> blocks;  // language/code page, table
};

class Parser {
public:
    Parser(const std::filesystem::path& scriptPath)
        : m_folder(scriptPath.parent_path()), m_tokens(ReadFile(scriptPath, nullptr), scriptPath.string())
    {
        m_script.inputs.push_back(scriptPath);
    }

    Script Run()
    {
        while (!m_tokens.AtEnd()) {
            if (m_tokens.PeekWord("STRINGTABLE"))
                ParseStringTable();
            else if (m_tokens.PeekWord("VERSIONINFO"))
                ParseVersionInfo();
            else
                ParseFileResource();
        }
        AddStringBlocks();
        return std::move(m_script);
    }

private:
    std::string ReadFile(const std::filesystem::path& path, const Tokens* where)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::string message = "cannot read " + path.string();
            if (where)
                where->Fail(message);
            throw ScriptError(message);
        }
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::u16string ToUtf16(const std::string& text)
    {
        try {
            return Utf8ToUtf16(text);
        } catch (const std::invalid_argument&) {
            m_tokens.Fail("text is not valid UTF-8");
        }
    }

    ResId ParseId(const Token& t, bool isType)
    {
        if (t.quoted || t.text.empty())
            m_tokens.Fail("expected a resource name or number");
        if (std::isdigit(static_cast<unsigned char>(t.text[0]))) {
            std::optional<std::uint32_t> n = Tokens::ParseNumber(t.text);
            if (!n || *n == 0 || *n > 0xFFFF)
                m_tokens.Fail("resource numbers run from 1 to 65535: " + t.text);
            return {static_cast<std::uint16_t>(*n), {}};
        }
        bool word = std::all_of(t.text.begin(), t.text.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        });
        if (!word)
            m_tokens.Fail("a resource name is a word of letters, digits and '_': " + t.text);
        std::string upper = t.text;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (isType) {
            if (upper == "CURSOR")
                return {kRtCursor, {}};
            if (upper == "BITMAP")
                return {kRtBitmap, {}};
            if (upper == "RCDATA")
                return {kRtRcdata, {}};
            if (upper == "ICON")
                m_tokens.Fail("icon resources are not supported");
        }
        return {0, ToUtf16(upper)};
    }

    void ParseFileResource()
    {
        Resource r;
        r.name = ParseId(m_tokens.Next(), false);
        r.type = ParseId(m_tokens.AtEnd() ? Token{} : m_tokens.Next(), true);
        std::filesystem::path file = m_folder / m_tokens.ExpectString();
        std::string content = ReadFile(file, &m_tokens);
        r.bytes.assign(content.begin(), content.end());
        if (r.type == ResId{kRtCursor, {}})
            CheckCursor(r.bytes);
        if (r.type == ResId{kRtBitmap, {}}) {
            // A bitmap resource is the DIB without its BITMAPFILEHEADER.
            if (r.bytes.size() < 14 + 40 || r.bytes[0] != 'B' || r.bytes[1] != 'M')
                m_tokens.Fail("not a .bmp file: " + file.string());
            r.bytes.erase(r.bytes.begin(), r.bytes.begin() + 14);
        }
        m_script.inputs.push_back(file);
        Add(std::move(r));
    }

    // A .cur file: ICONDIR (reserved 0, type 2, count), then count 16-byte entries whose
    // images lie inside the file.
    void CheckCursor(const std::vector<std::uint8_t>& b)
    {
        auto word = [&](size_t at) { return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8); };
        auto dword = [&](size_t at) { return word(at) | word(at + 2) << 16; };
        if (b.size() < 6 || word(0) != 0 || word(2) != 2 || word(4) == 0 || b.size() < 6 + 16 * word(4))
            m_tokens.Fail("not a .cur file");
        for (size_t i = 0; i < word(4); ++i) {
            std::uint64_t size = dword(6 + 16 * i + 8), offset = dword(6 + 16 * i + 12);
            if (size == 0 || offset + size > b.size())
                m_tokens.Fail("cursor image outside the .cur file");
        }
    }

    void Add(Resource r)
    {
        for (const Resource& other : m_script.resources) {
            if (other.type == r.type && other.name == r.name)
                m_tokens.Fail("resource defined twice");
        }
        m_script.resources.push_back(std::move(r));
    }

    void ParseStringTable()
    {
        m_tokens.Expect("STRINGTABLE");
        m_tokens.Expect("BEGIN");
        while (!m_tokens.PeekWord("END")) {
            std::uint32_t id = m_tokens.ExpectNumber(0xFFFF);
            std::u16string text = ToUtf16(m_tokens.ExpectString());
            if (text.size() > 0xFFFF)
                m_tokens.Fail("string longer than 65535 characters");
            if (!m_strings.emplace(static_cast<std::uint16_t>(id), std::move(text)).second)
                m_tokens.Fail("string " + std::to_string(id) + " defined twice");
        }
        m_tokens.Expect("END");
    }

    // Sixteen strings per block; block n holds the ids 16 * (n - 1) to 16 * n - 1, each a
    // WORD length and its characters without a terminator.
    void AddStringBlocks()
    {
        std::map<std::uint16_t, std::vector<const std::u16string*>> blocks;
        for (const auto& [id, text] : m_strings) {
            auto& slots = blocks[static_cast<std::uint16_t>(id / 16 + 1)];
            slots.resize(16, nullptr);
            slots[id % 16] = &text;
        }
        for (const auto& [block, slots] : blocks) {
            Bytes out;
            for (const std::u16string* text : slots) {
                out.Word(text ? static_cast<std::uint16_t>(text->size()) : 0);
                if (text)
                    out.Text(*text);
            }
            Add({{kRtString, {}}, {block, {}}, std::move(out.data)});
        }
    }

    void ParseVersionNumber(std::uint32_t (&version)[2])
    {
        std::uint32_t parts[4];
        for (std::uint32_t& p : parts)
            p = m_tokens.ExpectNumber(0xFFFF);
        version[0] = parts[0] << 16 | parts[1];
        version[1] = parts[2] << 16 | parts[3];
    }

    void ParseVersionInfo()
    {
        m_tokens.Expect("VERSIONINFO");
        if (m_haveVersion)
            m_tokens.Fail("VERSIONINFO defined twice");
        m_haveVersion = true;
        VersionInfo info;
        while (!m_tokens.PeekWord("BEGIN")) {
            std::string word = m_tokens.Next().text;
            if (word == "FILEVERSION")
                ParseVersionNumber(info.fileVersion);
            else if (word == "PRODUCTVERSION")
                ParseVersionNumber(info.productVersion);
            else if (word == "FILEFLAGS")
                info.fileFlags = m_tokens.ExpectNumber(0x3F);
            else if (word == "FILETYPE")
                info.fileType = ParseFileType();
            else
                m_tokens.Fail("unknown VERSIONINFO statement " + word);
        }
        m_tokens.Expect("BEGIN");
        while (!m_tokens.PeekWord("END"))
            info.blocks.push_back(ParseVersionBlock());
        m_tokens.Expect("END");
        Add({{kRtVersion, {}}, {1, {}}, BuildVersion(info)});
    }

    // VFT_APP or VFT_DLL.
    std::uint32_t ParseFileType()
    {
        std::string word = m_tokens.AtEnd() ? std::string() : m_tokens.Next().text;
        if (word == "APP")
            return 1;
        if (word == "DLL")
            return 2;
        m_tokens.Fail("FILETYPE is APP or DLL");
    }

    std::pair<std::uint32_t, VersionNode> ParseVersionBlock()
    {
        m_tokens.Expect("BLOCK");
        std::string name = m_tokens.ExpectString();
        std::optional<std::uint32_t> langCodePage = Tokens::ParseNumber("0x" + name);
        if (name.size() != 8 || !langCodePage)
            m_tokens.Fail("a BLOCK is named by 8 hex digits, language and code page: " + name);
        VersionNode table{ToUtf16(name), true, {}, 0, {}};
        m_tokens.Expect("BEGIN");
        while (!m_tokens.PeekWord("END")) {
            m_tokens.Expect("VALUE");
            std::u16string key = ToUtf16(m_tokens.ExpectString());
            std::u16string text = ToUtf16(m_tokens.ExpectString());
            if (text.size() >= 0x7FFF)
                m_tokens.Fail("version text too long");
            Bytes value;
            value.Text(text);
            value.Word(0);
            table.children.push_back({key, true, std::move(value.data), static_cast<std::uint16_t>(text.size() + 1), {}});
        }
        m_tokens.Expect("END");
        return {*langCodePage, std::move(table)};
    }

    static std::vector<std::uint8_t> BuildVersion(const VersionInfo& info)
    {
        Bytes fixed;  // VS_FIXEDFILEINFO
        fixed.Dword(0xFEEF04BD);
        fixed.Dword(0x00010000);
        fixed.Dword(info.fileVersion[0]);
        fixed.Dword(info.fileVersion[1]);
        fixed.Dword(info.productVersion[0]);
        fixed.Dword(info.productVersion[1]);
        fixed.Dword(0x3F);        // dwFileFlagsMask
        fixed.Dword(info.fileFlags);
        fixed.Dword(0x00040004);  // VOS_NT_WINDOWS32
        fixed.Dword(info.fileType);
        fixed.Dword(0);           // dwFileSubtype
        fixed.Dword(0);           // dwFileDateMS
        fixed.Dword(0);           // dwFileDateLS

        VersionNode root{u"VS_VERSION_INFO", false, fixed.data, static_cast<std::uint16_t>(fixed.data.size()), {}};
        if (!info.blocks.empty()) {
            VersionNode strings{u"StringFileInfo", true, {}, 0, {}};
            Bytes translations;
            for (const auto& [langCodePage, table] : info.blocks) {
                strings.children.push_back(table);
                translations.Word(static_cast<std::uint16_t>(langCodePage >> 16));
                translations.Word(static_cast<std::uint16_t>(langCodePage));
            }
            VersionNode translation{u"Translation", false, translations.data,
                                    static_cast<std::uint16_t>(translations.data.size()), {}};
            root.children.push_back(std::move(strings));
            root.children.push_back({u"VarFileInfo", true, {}, 0, {std::move(translation)}});
        }
        Bytes out;
        root.WriteTo(out);
        return std::move(out.data);
    }

    std::filesystem::path m_folder;
    Tokens m_tokens;
    Script m_script;
    std::map<std::uint16_t, std::u16string> m_strings;
    bool m_haveVersion = false;
};

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        auto byte = [&](size_t at) { return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u; };
        unsigned lead = byte(i);
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        if (extra < 0)
            throw std::invalid_argument("bad UTF-8");
        char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80)
                throw std::invalid_argument("bad UTF-8");
            cp = cp << 6 | (byte(i + k) & 0x3F);
        }
        static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            throw std::invalid_argument("bad UTF-8");
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += 1 + extra;
    }
    return out;
}

Script ReadScript(const std::filesystem::path& scriptPath)
{
    return Parser(scriptPath).Run();
}

}  // namespace rcembed
