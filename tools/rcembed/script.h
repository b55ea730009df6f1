// A module's resource script and the binary blocks built from it.
//
// The script is plain UTF-8 text, read as tokens: words, quoted strings and the separator
// ','. "//" starts a comment that runs to the end of the line. Statements:
//
//   <name> <type> "<file>"     one resource: the bytes of a file named relative to the
//                              script's folder. <name> is a number 1..65535 or a word
//                              (stored upper case, found without regard to case). <type> is
//                              CURSOR, BITMAP or RCDATA (the predefined types), a number, or
//                              any other word such as JPEG, PNG, REGISTRY, TYPELIB.
//                              CURSOR: a .cur file, stored whole (see winbase.h).
//                              BITMAP: a .bmp file, stored without its 14-byte file header.
//   STRINGTABLE BEGIN <id> "<text>" ... END
//                              strings, kept in blocks of sixteen under RT_STRING as Win32
//                              keeps them. Text escapes: \n \t \r \\ \" and "" for a quote.
//   VERSIONINFO [FILEVERSION a,b,c,d] [PRODUCTVERSION a,b,c,d] [FILEFLAGS n]
//               [FILETYPE APP|DLL]
//   BEGIN
//     BLOCK "040904E4" BEGIN VALUE "<key>", "<text>" ... END
//     ...
//   END                        the version resource (RT_VERSION 1) in the Win32
//                              VS_VERSIONINFO layout; each BLOCK is one string table of
//                              \StringFileInfo named by language and code page, and the
//                              \VarFileInfo\Translation list names every block.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace rcembed {

// A resource type or name: a number, or an upper-case string when text is not empty.
struct ResId {
    std::uint16_t number = 0;
    std::u16string text;
    bool operator==(const ResId&) const = default;
};

struct Resource {
    ResId type;
    ResId name;
    std::vector<std::uint8_t> bytes;
};

struct Script {
    std::vector<Resource> resources;
    std::vector<std::filesystem::path> inputs;  // every file the output depends on
};

// A fault in the script or in a file it names; the message carries "file:line: ".
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads a script and every file it names, and builds the string and version blocks.
Script ReadScript(const std::filesystem::path& scriptPath);

std::u16string Utf8ToUtf16(const std::string& text);  // throws std::invalid_argument

}  // namespace rcembed
