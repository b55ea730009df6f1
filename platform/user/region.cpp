// Update regions as lists of non-overlapping rectangles.
#include "user_private.h"

#include <algorithm>

namespace qor::user {
namespace {

bool Overlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Appends the parts of a that lie outside b (up to four bands).
void AppendDifference(const RECT& a, const RECT& b, std::vector<RECT>* out)
{
    if (!Overlap(a, b)) {
        out->push_back(a);
        return;
    }
    if (a.top < b.top) out->push_back(RECT{a.left, a.top, a.right, b.top});
    if (b.bottom < a.bottom) out->push_back(RECT{a.left, b.bottom, a.right, a.bottom});
    const LONG top = std::max(a.top, b.top);
    const LONG bottom = std::min(a.bottom, b.bottom);
    if (a.left < b.left) out->push_back(RECT{a.left, top, b.left, bottom});
    if (b.right < a.right) out->push_back(RECT{b.right, top, a.right, bottom});
}

}  // namespace

void Region::Add(const RECT& rc)
{
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    std::vector<RECT> pieces{rc};
    for (const RECT& existing : rects_) {
        std::vector<RECT> rest;
        for (const RECT& piece : pieces) AppendDifference(piece, existing, &rest);
        pieces.swap(rest);
        if (pieces.empty()) return;
    }
    rects_.insert(rects_.end(), pieces.begin(), pieces.end());
}

void Region::Subtract(const RECT& rc)
{
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    std::vector<RECT> rest;
    for (const RECT& existing : rects_) AppendDifference(existing, rc, &rest);
    rects_.swap(rest);
}

void Region::Intersect(const RECT& rc)
{
    std::vector<RECT> kept;
    for (const RECT& r : rects_) {
        const RECT cut{std::max(r.left, rc.left), std::max(r.top, rc.top), std::min(r.right, rc.right),
                       std::min(r.bottom, rc.bottom)};
        if (cut.left < cut.right && cut.top < cut.bottom) kept.push_back(cut);
    }
    rects_.swap(kept);
}

void Region::Offset(int dx, int dy)
{
    for (RECT& r : rects_) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
}

RECT Region::Bounds() const
{
    if (rects_.empty()) return RECT{};
    RECT b = rects_.front();
    for (const RECT& r : rects_) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

}  // namespace qor::user
