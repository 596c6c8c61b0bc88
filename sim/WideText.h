#pragma once
// The simulator keeps text as UTF-8; the platform's wide calls hand it wchar_t text (UTF-32 here).
#include <string>
#include <string_view>

namespace sim {

std::string ToUtf8(std::wstring_view text);
// Malformed sequences become U+FFFD.
std::wstring FromUtf8(std::string_view text);

} // namespace sim
