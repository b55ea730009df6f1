// The built-in scene of the development scan engine: a light letter-size flatbed with three
// photographs lying on it, and a little dust. Positions are page units (thousandths of an
// inch), multiples of 20 so that they fall on whole pixels at the scene's resolution.
#pragma once

namespace qorscene {

inline constexpr int kDpi = 150;
inline constexpr int kPageWidth = 8500;
inline constexpr int kPageHeight = 11000;

struct Photo {
    int left, top, width, height;  // page units
};

inline constexpr Photo kPhotos[] = {
    {700, 800, 4200, 2900},   // a landscape: sky, sun, hills
    {5400, 1300, 2400, 3300}, // a portrait: sunset behind a dark ridge
    {1500, 5600, 5200, 3600}, // a group: faces in a warm room
};

// Page units to the scene's pixels (exact for the positions above).
inline constexpr int ToPixels(int pageUnits)
{
    return pageUnits * kDpi / 1000;
}

}  // namespace qorscene
