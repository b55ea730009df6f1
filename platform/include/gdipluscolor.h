// GDI+ Color: one ARGB value with straight alpha.
#pragma once

#include "gdipluspixelformats.h"

namespace Gdiplus {

class Color {
public:
    enum : ARGB {
        AlphaShift = 24,
        RedShift = 16,
        GreenShift = 8,
        BlueShift = 0,
        Black = 0xFF000000,
        White = 0xFFFFFFFF,
        Transparent = 0x00FFFFFF,
        DimGray = 0xFF696969
    };

    Color() : Argb(Black) {}
    Color(BYTE r, BYTE g, BYTE b) : Argb(MakeARGB(255, r, g, b)) {}
    Color(BYTE a, BYTE r, BYTE g, BYTE b) : Argb(MakeARGB(a, r, g, b)) {}
    Color(ARGB argb) : Argb(argb) {}

    BYTE GetAlpha() const { return static_cast<BYTE>(Argb >> AlphaShift); }
    BYTE GetA() const { return GetAlpha(); }
    BYTE GetRed() const { return static_cast<BYTE>(Argb >> RedShift); }
    BYTE GetR() const { return GetRed(); }
    BYTE GetGreen() const { return static_cast<BYTE>(Argb >> GreenShift); }
    BYTE GetG() const { return GetGreen(); }
    BYTE GetBlue() const { return static_cast<BYTE>(Argb >> BlueShift); }
    BYTE GetB() const { return GetBlue(); }
    ARGB GetValue() const { return Argb; }
    void SetValue(ARGB argb) { Argb = argb; }
    COLORREF ToCOLORREF() const { return RGB(GetRed(), GetGreen(), GetBlue()); }
    void SetFromCOLORREF(COLORREF rgb) { Argb = MakeARGB(255, GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)); }

    static ARGB MakeARGB(BYTE a, BYTE r, BYTE g, BYTE b)
    {
        return (ARGB(a) << AlphaShift) | (ARGB(r) << RedShift) | (ARGB(g) << GreenShift) | (ARGB(b) << BlueShift);
    }

protected:
    ARGB Argb;
};

}  // namespace Gdiplus
