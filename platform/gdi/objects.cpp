// The handle table, stock objects, selection and deletion of GDI objects.
#include <winbase.h>

#include <unordered_map>

#include "gdi_private.h"

namespace qor::gdi {

namespace {

struct Table {
    std::unordered_map<std::uintptr_t, std::shared_ptr<GdiObject>> objects;
    std::uintptr_t next = 0x00400010;  // handles step by 16 so that stray small integers never name one
};

Table& TheTable()
{
    static Table table;
    return table;
}

std::shared_ptr<Brush> MakeStockBrush(UINT style, COLORREF color)
{
    auto brush = std::make_shared<Brush>();
    brush->style = style;
    brush->color = color;
    brush->stock = true;
    Insert(brush);
    return brush;
}

std::shared_ptr<Pen> MakeStockPen(int dash, COLORREF color)
{
    auto pen = std::make_shared<Pen>();
    pen->style = DWORD(dash);
    pen->color = color;
    pen->stock = true;
    Insert(pen);
    return pen;
}

struct Stock {
    std::shared_ptr<GdiObject> objects[DC_PEN + 1];
    std::shared_ptr<Bitmap> bitmap;
    Stock()
    {
        objects[WHITE_BRUSH] = MakeStockBrush(BS_SOLID, 0x00FFFFFF);
        objects[LTGRAY_BRUSH] = MakeStockBrush(BS_SOLID, 0x00C0C0C0);
        objects[GRAY_BRUSH] = MakeStockBrush(BS_SOLID, 0x00808080);
        objects[DKGRAY_BRUSH] = MakeStockBrush(BS_SOLID, 0x00404040);
        objects[BLACK_BRUSH] = MakeStockBrush(BS_SOLID, 0);
        objects[NULL_BRUSH] = MakeStockBrush(BS_NULL, 0);
        objects[WHITE_PEN] = MakeStockPen(PS_SOLID, 0x00FFFFFF);
        objects[BLACK_PEN] = MakeStockPen(PS_SOLID, 0);
        objects[NULL_PEN] = MakeStockPen(PS_NULL, 0);
        bitmap = MakeBitmap(1, 1, 1);
        bitmap->stock = true;
        Insert(bitmap);
    }
};

Stock& TheStock()
{
    static Stock stock;
    return stock;
}

// Puts an object into a slot of the DC state; returns the handle of the one it displaced.
template <class T>
HGDIOBJ Select(const std::shared_ptr<GdiObject>& object, std::shared_ptr<T>& slot)
{
    const HGDIOBJ previous = slot->handle;
    Hold(object.get());
    Release(slot.get());
    slot = std::static_pointer_cast<T>(object);
    return previous;
}

}  // namespace

std::recursive_mutex& TableLock()
{
    static std::recursive_mutex lock;
    return lock;
}

HGDIOBJ Insert(std::shared_ptr<GdiObject> object)
{
    std::lock_guard guard(TableLock());
    Table& table = TheTable();
    const std::uintptr_t value = table.next;
    table.next += 16;
    object->handle = reinterpret_cast<HGDIOBJ>(value);
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HGDIOBJ>(value);
}

std::shared_ptr<GdiObject> Lookup(HGDIOBJ handle)
{
    std::lock_guard guard(TableLock());
    TheStock();  // stock objects exist before any handle is looked up
    auto& objects = TheTable().objects;
    auto it = objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == objects.end() ? nullptr : it->second;
}

void Remove(HGDIOBJ handle)
{
    std::lock_guard guard(TableLock());
    TheTable().objects.erase(reinterpret_cast<std::uintptr_t>(handle));
}

std::shared_ptr<Dc> LookupDc(HDC hdc)
{
    auto dc = LookupAs<Dc>(hdc, Kind::Dc);
    if (!dc)
        SetLastError(ERROR_INVALID_HANDLE);
    return dc;
}

std::shared_ptr<Bitmap> StockBitmap()
{
    std::lock_guard guard(TableLock());
    return TheStock().bitmap;
}

std::shared_ptr<Pen> StockPen(int index)
{
    std::lock_guard guard(TableLock());
    return std::static_pointer_cast<Pen>(TheStock().objects[index]);
}

std::shared_ptr<Brush> StockBrush(int index)
{
    std::lock_guard guard(TableLock());
    return std::static_pointer_cast<Brush>(TheStock().objects[index]);
}

void Hold(GdiObject* object)
{
    if (object)
        ++object->selectCount;
}

void Release(GdiObject* object)
{
    if (!object)
        return;
    std::lock_guard guard(TableLock());
    if (--object->selectCount == 0 && object->deletePending)
        Remove(object->handle);
}

void HoldState(DcState& state)
{
    Hold(state.pen.get());
    Hold(state.brush.get());
    Hold(state.bitmap.get());
}

void ReleaseState(DcState& state)
{
    Release(state.pen.get());
    Release(state.brush.get());
    Release(state.bitmap.get());
}

}  // namespace qor::gdi

using namespace qor::gdi;

HGDIOBJ WINAPI GetStockObject(int i)
{
    std::lock_guard guard(TableLock());
    if (i < 0 || i > DC_PEN || !TheStock().objects[i])
        return nullptr;  // fonts, palettes and the DC pen and brush are not provided
    return TheStock().objects[i]->handle;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    std::lock_guard guard(TableLock());
    auto dc = LookupDc(hdc);
    auto object = Lookup(h);
    if (!dc || !object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    DcState& s = dc->state;
    switch (object->kind) {
    case Kind::Pen:
        return Select(object, s.pen);
    case Kind::Brush:
        return Select(object, s.brush);
    case Kind::Bitmap: {
        // Only memory DCs take bitmaps, and a bitmap lives in one DC at a time (the stock
        // bitmap excepted).
        const auto& bitmap = static_cast<const Bitmap&>(*object);
        if (!dc->memory || (bitmap.selectCount > 0 && !bitmap.stock && object != s.bitmap))
            return nullptr;
        return Select(object, s.bitmap);
    }
    case Kind::Dc:
        break;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    std::lock_guard guard(TableLock());
    auto object = Lookup(ho);
    if (!object || object->kind == Kind::Dc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (object->stock)
        return TRUE;  // deleting a stock object is allowed and does nothing
    if (object->selectCount > 0) {
        // A bitmap selected into a DC cannot be deleted; a pen or brush is deleted when it
        // is deselected, as on Windows.
        if (object->kind == Kind::Bitmap)
            return FALSE;
        object->deletePending = true;
        return TRUE;
    }
    Remove(ho);
    return TRUE;
}

DWORD WINAPI GetObjectType(HGDIOBJ h)
{
    auto object = Lookup(h);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (object->kind) {
    case Kind::Dc:
        return static_cast<Dc&>(*object).memory ? OBJ_MEMDC : OBJ_DC;
    case Kind::Bitmap:
        return OBJ_BITMAP;
    case Kind::Pen:
        return static_cast<Pen&>(*object).extended ? OBJ_EXTPEN : OBJ_PEN;
    case Kind::Brush:
        return OBJ_BRUSH;
    }
    return 0;
}

namespace {

// Without a buffer GetObjectW tells the size; a buffer too small for the structure gets nothing.
int CopyOut(const void* data, int size, int c, LPVOID pv)
{
    if (!pv)
        return size;
    if (c < size)
        return 0;
    std::memcpy(pv, data, size_t(size));
    return size;
}

int GetBitmapObject(const Bitmap& bitmap, int c, LPVOID pv)
{
    DIBSECTION ds{};
    ds.dsBm.bmType = 0;
    ds.dsBm.bmWidth = bitmap.width;
    ds.dsBm.bmHeight = bitmap.height;
    ds.dsBm.bmWidthBytes = bitmap.WidthBytes();
    ds.dsBm.bmPlanes = 1;
    ds.dsBm.bmBitsPixel = WORD(bitmap.bpp);
    if (bitmap.dibSection) {
        ds.dsBm.bmBits = bitmap.stride < 0 ? bitmap.top + bitmap.stride * (bitmap.height - 1) : bitmap.top;
        ds.dsBmih = bitmap.dibHeader;
        if (c >= int(sizeof(DIBSECTION)))
            return CopyOut(&ds, sizeof(DIBSECTION), c, pv);
    }
    return CopyOut(&ds.dsBm, sizeof(BITMAP), c, pv);
}

int GetPenObject(const Pen& pen, int c, LPVOID pv)
{
    if (!pen.extended) {
        LOGPEN lp{};
        lp.lopnStyle = pen.style & ~DWORD(PS_TYPE_MASK);  // CreatePen's own style
        lp.lopnWidth.x = pen.width;
        lp.lopnColor = pen.color;
        return CopyOut(&lp, sizeof(LOGPEN), c, pv);
    }
    const int size = int(offsetof(EXTLOGPEN, elpStyleEntry) + pen.userStyle.size() * sizeof(DWORD));
    if (!pv)
        return size;
    if (c < size)
        return 0;
    std::vector<BYTE> buffer(size_t(size) + sizeof(DWORD));
    auto* elp = reinterpret_cast<EXTLOGPEN*>(buffer.data());
    elp->elpPenStyle = pen.style;
    elp->elpWidth = DWORD(pen.width);
    elp->elpBrushStyle = pen.brushStyle;
    elp->elpColor = pen.color;
    elp->elpHatch = pen.hatch;
    elp->elpNumEntries = DWORD(pen.userStyle.size());
    for (size_t i = 0; i < pen.userStyle.size(); ++i)
        elp->elpStyleEntry[i] = pen.userStyle[i];
    std::memcpy(pv, buffer.data(), size_t(size));
    return size;
}

int GetBrushObject(const Brush& brush, int c, LPVOID pv)
{
    LOGBRUSH lb{};
    lb.lbStyle = brush.style;
    lb.lbColor = brush.color;
    lb.lbHatch = brush.hatch;
    return CopyOut(&lb, sizeof(LOGBRUSH), c, pv);
}

}  // namespace

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv)
{
    auto object = Lookup(h);
    if (!object || object->kind == Kind::Dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (object->kind) {
    case Kind::Bitmap:
        return GetBitmapObject(static_cast<Bitmap&>(*object), c, pv);
    case Kind::Pen:
        return GetPenObject(static_cast<Pen&>(*object), c, pv);
    case Kind::Brush:
        return GetBrushObject(static_cast<Brush&>(*object), c, pv);
    case Kind::Dc:
        break;
    }
    return 0;
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type)
{
    std::lock_guard guard(TableLock());
    auto dc = LookupDc(hdc);
    if (!dc)
        return nullptr;
    switch (type) {
    case OBJ_PEN:
    case OBJ_EXTPEN:
        return dc->state.pen->handle;
    case OBJ_BRUSH:
        return dc->state.brush->handle;
    case OBJ_BITMAP:
        return dc->memory ? dc->state.bitmap->handle : nullptr;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

BOOL WINAPI UnrealizeObject(HGDIOBJ h)
{
    // Brush patterns are aligned when used, so there is nothing to reset; the call only
    // checks the handle as Windows does.
    auto object = Lookup(h);
    if (!object || object->kind == Kind::Dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
