// Pens: cosmetic (CreatePen, ExtCreatePen PS_COSMETIC) and geometric (ExtCreatePen).
#include <winbase.h>

#include "gdi_private.h"

using namespace qor::gdi;

namespace {

HPEN Publish(std::shared_ptr<Pen> pen)
{
    return static_cast<HPEN>(Insert(std::move(pen)));
}

}  // namespace

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color)
{
    if (iStyle < PS_SOLID || iStyle > PS_INSIDEFRAME) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto pen = std::make_shared<Pen>();
    pen->style = DWORD(iStyle);
    pen->width = cWidth < 0 ? 0 : cWidth;
    pen->color = color;
    // A wide pen from CreatePen is a geometric pen with round caps and joins; its
    // LOGPEN still reports the style it was made with.
    if (pen->width > 1 && iStyle != PS_NULL)
        pen->style |= PS_GEOMETRIC;
    return Publish(std::move(pen));
}

HPEN WINAPI ExtCreatePen(DWORD iPenStyle, DWORD cWidth, const LOGBRUSH* plbrush, DWORD cStyle, const DWORD* pstyle)
{
    const DWORD type = iPenStyle & PS_TYPE_MASK;
    const DWORD dash = iPenStyle & PS_STYLE_MASK;
    const DWORD cap = iPenStyle & PS_ENDCAP_MASK;
    const DWORD join = iPenStyle & PS_JOIN_MASK;
    const bool valid =
        plbrush && (type == PS_COSMETIC || type == PS_GEOMETRIC) && dash <= PS_ALTERNATE && cap <= PS_ENDCAP_FLAT &&
        join <= PS_JOIN_MITER && (iPenStyle & ~(PS_TYPE_MASK | PS_STYLE_MASK | PS_ENDCAP_MASK | PS_JOIN_MASK)) == 0 &&
        // Cosmetic pens are one pixel wide, solid-coloured; PS_ALTERNATE is theirs alone.
        (type == PS_GEOMETRIC || (cWidth == 1 && plbrush->lbStyle == BS_SOLID)) &&
        !(type == PS_GEOMETRIC && dash == PS_ALTERNATE) &&
        (dash == PS_USERSTYLE ? (cStyle > 0 && cStyle <= 16 && pstyle) : (cStyle == 0 && !pstyle)) &&
        cWidth <= 0x7FFFFFF;
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Geometric pens draw with a solid colour here; hatched and pattern pen brushes are not
    // provided.
    if (plbrush->lbStyle != BS_SOLID && plbrush->lbStyle != BS_NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto pen = std::make_shared<Pen>();
    pen->extended = true;
    pen->style = iPenStyle;
    pen->width = int(cWidth);
    pen->color = plbrush->lbColor;
    pen->brushStyle = plbrush->lbStyle;
    pen->hatch = plbrush->lbHatch;
    if (dash == PS_USERSTYLE)
        pen->userStyle.assign(pstyle, pstyle + cStyle);
    return Publish(std::move(pen));
}
