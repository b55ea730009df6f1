// The version resource of a loaded module, and VerQueryValueW over the VS_VERSIONINFO
// tree: nodes of wLength, wValueLength, wType, a key, a value and children, each child on
// a 32-bit boundary of the block.
#include <winver.h>
#include <winbase.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "qor_text.h"
#include "resources_private.h"

using namespace qor::resources;

namespace {

// The version resource of the module loaded from that file, or null with the last error
// set. Files that are not loaded modules have no resources here: on this platform the
// resources of a module are built into its code, not stored in a section of its file.
const QorResourceEntry* VersionOfFile(LPCWSTR fileName)
{
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string path = qor::ToUtf8(fileName);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    HMODULE module = ModuleOfFile(path);
    DWORD error = ERROR_SUCCESS;
    const QorResourceEntry* entry =
        module ? FindEntry(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION, &error) : nullptr;
    if (!entry)
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return entry;
}

// One node of the tree, read within the bytes its parent allows.
struct Node {
    const BYTE* start = nullptr;
    WORD length = 0;
    WORD valueLength = 0;
    bool text = false;
    std::u16string_view key;
    size_t valueOffset = 0;
    size_t childrenOffset = 0;
};

size_t Align4(size_t n)
{
    return (n + 3) & ~size_t(3);
}

WORD ReadWord(const BYTE* p)
{
    return static_cast<WORD>(p[0] | p[1] << 8);
}

bool ReadNode(const BYTE* start, size_t available, Node* node)
{
    if (available < 6)
        return false;
    node->start = start;
    node->length = ReadWord(start);
    node->valueLength = ReadWord(start + 2);
    node->text = ReadWord(start + 4) == 1;
    if (node->length < 6 || node->length > available)
        return false;
    const auto* key = reinterpret_cast<const char16_t*>(start + 6);
    const size_t maxKey = (node->length - 6) / 2;
    const size_t keyLength = std::find(key, key + maxKey, u'\0') - key;
    if (keyLength == maxKey)
        return false;
    node->key = std::u16string_view(key, keyLength);
    node->valueOffset = Align4(6 + 2 * (keyLength + 1));
    const size_t valueBytes = node->text ? 2u * node->valueLength : node->valueLength;
    node->childrenOffset = Align4(node->valueOffset + valueBytes);
    return node->valueOffset + valueBytes <= node->length;
}

bool FindChild(const Node& parent, std::u16string_view key, Node* child)
{
    for (size_t at = parent.childrenOffset; at < parent.length; at = Align4(at + child->length)) {
        if (!ReadNode(parent.start + at, parent.length - at, child))
            return false;
        if (child->key.size() == key.size() &&
            lstrcmpiW(std::u16string(child->key).c_str(), std::u16string(key).c_str()) == 0)
            return true;
    }
    return false;
}

}  // namespace

// The size is that of the resource; Windows asks for more, keeping room for converted
// copies that only its ANSI functions use.
DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle)
        *lpdwHandle = 0;
    const QorResourceEntry* entry = VersionOfFile(lptstrFilename);
    return entry ? static_cast<DWORD>(entry->size) : 0;
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData)
{
    UNREFERENCED_PARAMETER(dwHandle);
    if (!lpData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const QorResourceEntry* entry = VersionOfFile(lptstrFilename);
    if (!entry)
        return FALSE;
    const DWORD copied = std::min<DWORD>(dwLen, static_cast<DWORD>(entry->size));
    std::copy(entry->data, entry->data + copied, static_cast<BYTE*>(lpData));
    // A short buffer gets the start of the block; its length is cut to match, so that
    // VerQueryValueW, which only has the block, stays inside the buffer.
    if (copied >= 2 && copied < entry->size) {
        static_cast<BYTE*>(lpData)[0] = static_cast<BYTE>(copied);
        static_cast<BYTE*>(lpData)[1] = static_cast<BYTE>(copied >> 8);
    }
    return TRUE;
}

BOOL WINAPI VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen)
{
    if (!pBlock || !lpSubBlock || !lplpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* block = static_cast<const BYTE*>(pBlock);
    Node node;
    if (!ReadNode(block, ReadWord(block), &node)) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    // Walk the path one backslash-separated key at a time; empty keys are skipped, so
    // "\" is the root (the VS_FIXEDFILEINFO).
    std::u16string_view path(lpSubBlock);
    while (!path.empty()) {
        const size_t end = std::min(path.find(u'\\'), path.size());
        const std::u16string_view key = path.substr(0, end);
        path.remove_prefix(std::min(end + 1, path.size()));
        if (key.empty())
            continue;
        Node child;
        if (!FindChild(node, key, &child)) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
        node = child;
    }
    if (node.valueLength == 0 && node.start == block) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    *lplpBuffer = const_cast<BYTE*>(node.start + node.valueOffset);
    if (puLen)
        *puLen = node.valueLength;
    return TRUE;
}
