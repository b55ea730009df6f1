// Text conversions for the platform's own use at the boundary to Linux (paths on disk,
// library calls): UTF-16 in the Win32 API, UTF-8 everywhere else.
#pragma once

#include <string>
#include <string_view>

#include <windef.h>

namespace qor {

std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);
inline std::string ToUtf8(LPCWSTR text) { return text ? ToUtf8(std::u16string_view(text)) : std::string(); }

}  // namespace qor
