#include "middleware/core/TextConversions.h"

#include "platform/win/WinGuid.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace {

bool AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        if (c >= 0xD800 && c <= 0xDFFF)
            return false;
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        return false;
    }
    return true;
}

// Wide text by the width of its code unit: UTF-32 (4 bytes, as wchar_t here) or UTF-16 with
// surrogate pairs (2 bytes, as wchar_t on Windows).
template <class Unit> std::string UnitsToNarrow(std::basic_string_view<Unit> text) {
    static_assert(sizeof(Unit) == 2 || sizeof(Unit) == 4);
    std::string out;
    try {
        out.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            auto c = static_cast<uint32_t>(text[i]);
            if (c == 0)
                break;
            if constexpr (sizeof(Unit) == 2) {
                if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
                    const auto low = static_cast<uint32_t>(text[i + 1]);
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                        ++i;
                    }
                }
            }
            // A surrogate left over (unpaired, or any in UTF-32) has no narrow form.
            if (!AppendUtf8(out, c))
                return {};
        }
    } catch (...) {
        return {};
    }
    return out;
}

template <class Unit> std::basic_string<Unit> NarrowToUnits(const std::string& text) {
    static_assert(sizeof(Unit) == 2 || sizeof(Unit) == 4);
    std::basic_string<Unit> out;
    try {
        out.reserve(text.size());
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        const auto* end = p + text.size();
        while (p < end && *p != 0) {
            const unsigned char lead = *p++;
            uint32_t c;
            int more;
            uint32_t min;
            if (lead < 0x80) {
                c = lead, more = 0, min = 0;
            } else if ((lead & 0xE0) == 0xC0) {
                c = lead & 0x1F, more = 1, min = 0x80;
            } else if ((lead & 0xF0) == 0xE0) {
                c = lead & 0x0F, more = 2, min = 0x800;
            } else if ((lead & 0xF8) == 0xF0) {
                c = lead & 0x07, more = 3, min = 0x10000;
            } else {
                return {};
            }
            for (int i = 0; i < more; ++i) {
                if (p == end || (*p & 0xC0) != 0x80)
                    return {};
                c = (c << 6) | (*p++ & 0x3F);
            }
            if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
                return {};
            if (sizeof(Unit) == 2 && c >= 0x10000) {
                out += static_cast<Unit>(0xD800 + ((c - 0x10000) >> 10));
                out += static_cast<Unit>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                out += static_cast<Unit>(c);
            }
        }
    } catch (...) {
        return {};
    }
    return out;
}

} // namespace

std::string ToNarrowString(const std::wstring& text) {
    return UnitsToNarrow<wchar_t>(text);
}

std::wstring ToWideString(const std::string& text) {
    return NarrowToUnits<wchar_t>(text);
}

std::string Utf16ToNarrowString(std::u16string_view text) {
    return UnitsToNarrow<char16_t>(text);
}

std::string Utf32ToNarrowString(std::u32string_view text) {
    return UnitsToNarrow<char32_t>(text);
}

std::u16string NarrowToUtf16String(const std::string& text) {
    return NarrowToUnits<char16_t>(text);
}

std::u32string NarrowToUtf32String(const std::string& text) {
    return NarrowToUnits<char32_t>(text);
}

std::vector<std::wstring> MultiSzToStrings(const wchar_t* multiSz) {
    std::vector<std::wstring> result;
    if (!multiSz)
        return result;
    for (const wchar_t* p = multiSz; *p != L'\0';) {
        const size_t length = std::wcslen(p);
        result.emplace_back(p, length);
        p += length + 1;
    }
    return result;
}

std::vector<std::wstring> MultiSzToStrings(const std::vector<wchar_t>& multiSz) {
    std::vector<std::wstring> result;
    size_t pos = 0;
    while (pos < multiSz.size() && multiSz[pos] != L'\0') {
        size_t end = pos;
        while (end < multiSz.size() && multiSz[end] != L'\0')
            ++end;
        result.emplace_back(multiSz.data() + pos, end - pos);
        pos = end + 1;
    }
    return result;
}

std::string BoolToString(bool value) {
    return value ? "True" : "False";
}

int FormatToBuffer16(char (&buffer)[16], const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0 || written >= static_cast<int>(sizeof buffer))
        return -1;
    return written;
}

std::string ToHexString(uint32_t value) {
    char buffer[16] = {};
    if (FormatToBuffer16(buffer, "%#X", value) < 0)
        return {};
    return buffer;
}

std::wstring GuidToString(const GUID& guid) {
    wchar_t buffer[64] = {};
    if (StringFromGUID2(guid, buffer, 64) == 0)
        return {};
    return buffer;
}
