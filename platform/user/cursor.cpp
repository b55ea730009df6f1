// Cursors (system and module cursors), system metrics and system colours.
#include "user_private.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include <winbase.h>

#include "qordisplay.h"
#include "qorheadless.h"

namespace qor::user {
namespace {

// A cursor. System cursors are known by their IDC_ number (the backend draws them);
// module cursors keep the image of the first entry of their .cur data for the backend.
struct Cursor {
    HMODULE module = nullptr;
    std::u16string name;
    int width = 32;
    int height = 32;
    POINT hotspot{};
    std::vector<BYTE> image;  // PNG or DIB bytes, module cursors only
    std::vector<DWORD> pixels;  // the image decoded for a display host, on first request
};

struct CursorTable {
    std::map<std::pair<HMODULE, std::u16string>, std::unique_ptr<Cursor>> cursors;  // all shared
    HCURSOR current = nullptr;
    bool started = false;
};

CursorTable& C()
{
    static CursorTable table;
    return table;
}

std::u16string KeyOf(LPCWSTR name)
{
    if (IS_INTRESOURCE(name)) return u"#" + std::u16string(1, static_cast<char16_t>(reinterpret_cast<ULONG_PTR>(name)));
    return FoldCase(name);
}

bool IsCursor(HCURSOR handle)
{
    for (const auto& entry : C().cursors)
        if (reinterpret_cast<HCURSOR>(entry.second.get()) == handle) return true;
    return false;
}

HCURSOR Keep(HMODULE module, LPCWSTR name, std::unique_ptr<Cursor> cursor)
{
    HCURSOR handle = reinterpret_cast<HCURSOR>(cursor.get());
    C().cursors[{module, KeyOf(name)}] = std::move(cursor);
    return handle;
}

WORD ReadWord(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD ReadDword(const BYTE* p)
{
    return static_cast<DWORD>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<DWORD>(p[3]) << 24);
}

// Reads a .cur file: the directory, its first entry and that entry's image, each checked
// against the size of the data.
std::unique_ptr<Cursor> ParseCur(const BYTE* data, DWORD size)
{
    if (!data || size < 6 + 16 || ReadWord(data) != 0 || ReadWord(data + 2) != 2 || ReadWord(data + 4) == 0)
        return nullptr;
    const DWORD count = ReadWord(data + 4);
    if (6 + 16ULL * count > size) return nullptr;
    const BYTE* entry = data + 6;
    const DWORD imageSize = ReadDword(entry + 8);
    const DWORD offset = ReadDword(entry + 12);
    if (imageSize < 8 || offset > size || imageSize > size - offset) return nullptr;
    const BYTE* image = data + offset;
    static const BYTE kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const bool png = std::memcmp(image, kPng, 8) == 0;
    if (!png && (imageSize < 40 || ReadDword(image) < 40)) return nullptr;
    auto cursor = std::make_unique<Cursor>();
    cursor->width = entry[0] ? entry[0] : 256;
    cursor->height = entry[1] ? entry[1] : 256;
    cursor->hotspot = POINT{ReadWord(entry + 4), ReadWord(entry + 6)};
    cursor->image.assign(image, image + imageSize);
    return cursor;
}

bool IsSystemCursorId(ULONG_PTR id)
{
    static const ULONG_PTR kIds[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                     32644, 32645, 32646, 32648, 32649, 32650, 32651};
    return std::find(std::begin(kIds), std::end(kIds), id) != std::end(kIds);
}

// PNG cursor images (Windows Vista and later) through libpng's simple reader.
bool DecodePng(const std::vector<BYTE>& image, int width, int height, std::vector<DWORD>* pixels)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, image.data(), image.size())) return false;
    if (static_cast<int>(png.width) != width || static_cast<int>(png.height) != height) {
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_BGRA;  // bytes B, G, R, A: a DWORD 0xAARRGGBB
    pixels->assign(static_cast<size_t>(width) * height, 0);
    return png_image_finish_read(&png, nullptr, pixels->data(), width * 4, nullptr) != 0;
}

// DIB cursor images: the colour rows (1 or 32 bits) then the AND mask, both bottom-up, each
// row padded to 4 bytes; biHeight counts both halves. A 32-bit image with any alpha uses it,
// else the mask says which pixels are transparent. Inverting pixels (mask 1, colour 1) are
// shown black, which is how they look over the light surfaces they appear on.
bool DecodeDib(const std::vector<BYTE>& image, int width, int height, std::vector<DWORD>* pixels)
{
    const BYTE* p = image.data();
    const DWORD headerSize = ReadDword(p);
    const int bits = ReadWord(p + 14);
    if (static_cast<int>(ReadDword(p + 4)) != width || static_cast<int>(ReadDword(p + 8)) != 2 * height ||
        (bits != 1 && bits != 32))
        return false;
    const size_t colorAt = headerSize + (bits == 1 ? 8 : 0);  // a 1-bit image has two palette entries
    const size_t colorStride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    const size_t maskAt = colorAt + colorStride * height;
    if (maskAt + maskStride * height > image.size()) return false;
    auto bit = [](const BYTE* row, int x) { return ((row[x / 8] >> (7 - x % 8)) & 1) != 0; };
    bool anyAlpha = false;
    for (size_t i = colorAt + 3; bits == 32 && i < maskAt; i += 4) anyAlpha = anyAlpha || p[i] != 0;
    pixels->assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        const BYTE* color = p + colorAt + colorStride * (height - 1 - y);
        const BYTE* mask = p + maskAt + maskStride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            DWORD pixel;
            if (bits == 32) {
                pixel = ReadDword(color + 4 * x);
                if (!anyAlpha) pixel = (pixel & 0x00FFFFFF) | (bit(mask, x) ? 0 : 0xFF000000);
            } else if (bit(mask, x)) {
                pixel = bit(color, x) ? 0xFF000000 : 0;  // inverting, or transparent
            } else {
                pixel = 0xFF000000 | (ReadDword(p + headerSize + (bit(color, x) ? 4 : 0)) & 0x00FFFFFF);
            }
            (*pixels)[static_cast<size_t>(y) * width + x] = pixel;
        }
    }
    return true;
}

bool DecodeCursor(Cursor& cursor)
{
    if (!cursor.pixels.empty()) return true;
    static const BYTE kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const bool png = cursor.image.size() >= 8 && std::memcmp(cursor.image.data(), kPng, 8) == 0;
    const bool ok = png ? DecodePng(cursor.image, cursor.width, cursor.height, &cursor.pixels)
                        : DecodeDib(cursor.image, cursor.width, cursor.height, &cursor.pixels);
    if (!ok) cursor.pixels.clear();
    return ok;
}

}  // namespace

HCURSOR SystemCursor(LPCWSTR id)
{
    auto it = C().cursors.find({nullptr, KeyOf(id)});
    if (it != C().cursors.end()) return reinterpret_cast<HCURSOR>(it->second.get());
    auto cursor = std::make_unique<Cursor>();
    cursor->name = KeyOf(id);
    if (id != IDC_ARROW && id != IDC_HAND && id != IDC_APPSTARTING && id != IDC_HELP)
        cursor->hotspot = POINT{16, 16};  // the shapes centred on the point
    return Keep(nullptr, id, std::move(cursor));
}

}  // namespace qor::user

using namespace qor::user;

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name)
{
    if (!name) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    if (!instance) {
        if (!IS_INTRESOURCE(name) || !IsSystemCursorId(reinterpret_cast<ULONG_PTR>(name))) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        return SystemCursor(name);
    }
    // Module cursors are shared: the same module and name give the same handle.
    auto it = C().cursors.find({instance, KeyOf(name)});
    if (it != C().cursors.end()) return reinterpret_cast<HCURSOR>(it->second.get());
    HRSRC info = FindResourceW(instance, name, RT_CURSOR);
    if (!info) return nullptr;
    HGLOBAL data = LoadResource(instance, info);
    const auto* bytes = static_cast<const BYTE*>(LockResource(data));
    std::unique_ptr<Cursor> cursor = ParseCur(bytes, bytes ? SizeofResource(instance, info) : 0);
    if (!cursor) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    cursor->module = instance;
    cursor->name = KeyOf(name);
    return Keep(instance, name, std::move(cursor));
}

HCURSOR WINAPI SetCursor(HCURSOR cursor)
{
    if (cursor && !IsCursor(cursor)) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return nullptr;
    }
    const HCURSOR previous = GetCursor();
    C().current = cursor;
    if (cursor != previous) CurrentBackend().CursorChanged(cursor);
    return previous;
}

HCURSOR WINAPI GetCursor()
{
    CursorTable& table = C();
    if (!table.started) {  // the screen starts with the arrow
        table.started = true;
        table.current = SystemCursor(IDC_ARROW);
    }
    return table.current;
}

// Every cursor here is shared (loaded with LoadCursorW), so destroying one leaves it
// alive, as Windows does for shared cursors.
BOOL WINAPI DestroyCursor(HCURSOR cursor)
{
    if (!IsCursor(cursor)) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI QorGetCursorImage(HCURSOR handle, QORCURSORIMAGE* image)
{
    if (!image || image->cbSize != sizeof(QORCURSORIMAGE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsCursor(handle)) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    Cursor& cursor = *reinterpret_cast<Cursor*>(handle);
    *image = QORCURSORIMAGE{sizeof(QORCURSORIMAGE), 0, cursor.width, cursor.height, cursor.hotspot, nullptr};
    if (!cursor.module) {
        image->systemId = cursor.name.size() == 2 ? cursor.name[1] : 0;  // "#" and the IDC_ number
        return TRUE;
    }
    if (!DecodeCursor(cursor)) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    image->bits = cursor.pixels.data();
    return TRUE;
}

HCURSOR WINAPI QorGetCurrentCursor()
{
    return GetCursor();
}

// The metrics of Windows at 96 dpi with the classic (unpadded) borders.
int WINAPI GetSystemMetrics(int index)
{
    const SIZE screen = CurrentBackend().ScreenSize();
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN:
        return screen.cx;
    case SM_CYSCREEN:
    case SM_CYFULLSCREEN:
    case SM_CYVIRTUALSCREEN:
        return screen.cy;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        return 17;
    case SM_CYCAPTION:
        return 23;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CYMENU:
        return 20;
    case SM_CXDRAG:
    case SM_CYDRAG:
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    case SM_MOUSEPRESENT:
    case SM_MOUSEWHEELPRESENT:
    case SM_CMONITORS:
        return 1;
    case SM_CMOUSEBUTTONS:
        return 3;
    case SM_CXMIN:
        return 136;
    case SM_CYMIN:
        return 39;
    default:  // SM_SWAPBUTTON, SM_XVIRTUALSCREEN, SM_YVIRTUALSCREEN and unknown indexes
        return 0;
    }
}

// The default colours of Windows 10.
DWORD WINAPI GetSysColor(int index)
{
    switch (index) {
    case COLOR_SCROLLBAR:
        return RGB(200, 200, 200);
    case COLOR_WINDOW:
    case COLOR_HIGHLIGHTTEXT:
    case COLOR_BTNHIGHLIGHT:
        return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME:
        return RGB(100, 100, 100);
    case COLOR_APPWORKSPACE:
        return RGB(171, 171, 171);
    case COLOR_HIGHLIGHT:
        return RGB(0, 120, 215);
    case COLOR_BTNFACE:
        return RGB(240, 240, 240);
    case COLOR_BTNSHADOW:
        return RGB(160, 160, 160);
    case COLOR_GRAYTEXT:
        return RGB(109, 109, 109);
    default:  // COLOR_BACKGROUND, COLOR_WINDOWTEXT, COLOR_BTNTEXT, unknown indexes
        return RGB(0, 0, 0);
    }
}
