// The Windows C runtime's wide printf over this platform's: each conversion is taken with the
// argument type Windows gives it, then formatted alone by swprintf, strings always through "%ls",
// so that "%s" in a wide format reads a wide string as it does on Windows.
#include "platform/win/WinFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <type_traits>
#include <vector>

#include "sim/WideText.h"

namespace {

enum class Size { None, Char, Short, Long, LongLong, LongDouble, SizeT, IntMax, PtrDiff, Wide };

// One conversion formatted alone with the given value; false when swprintf refuses it.
template <class T> bool FormatOne(std::wstring& out, const std::wstring& spec, T value) {
    std::vector<wchar_t> piece(64);
    for (;;) {
        const int written = std::swprintf(piece.data(), piece.size(), spec.c_str(), value);
        if (written >= 0) {
            out.append(piece.data(), static_cast<size_t>(written));
            return true;
        }
        // swprintf answers -1 both for a buffer too small and for a failure; grow within reason.
        if (piece.size() >= (size_t{1} << 20))
            return false;
        piece.resize(piece.size() * 4);
    }
}

// The argument of an integer conversion, taken as its size prefix says and widened to Wide (long
// long or unsigned long long) with that type's sign.
template <class Wide> Wide TakeInteger(Size size, va_list* args) {
    using Char = std::conditional_t<std::is_signed_v<Wide>, signed char, unsigned char>;
    using Short = std::conditional_t<std::is_signed_v<Wide>, short, unsigned short>;
    using Long = std::conditional_t<std::is_signed_v<Wide>, long, unsigned long>;
    using Sized = std::conditional_t<std::is_signed_v<Wide>, ptrdiff_t, size_t>;
    using Max = std::conditional_t<std::is_signed_v<Wide>, intmax_t, uintmax_t>;
    using Int = std::conditional_t<std::is_signed_v<Wide>, int, unsigned>;
    switch (size) {
    case Size::Char:
        return static_cast<Char>(va_arg(*args, Int));
    case Size::Short:
        return static_cast<Short>(va_arg(*args, Int));
    case Size::Long:
        return va_arg(*args, Long);
    case Size::LongLong:
        return va_arg(*args, Wide);
    case Size::SizeT:
    case Size::PtrDiff:
        return static_cast<Wide>(va_arg(*args, Sized));
    case Size::IntMax:
        return static_cast<Wide>(va_arg(*args, Max));
    default:
        return va_arg(*args, Int);
    }
}

// Formats the whole text; false at the first conversion it cannot take, with what came before it
// already in `out`.
bool FormatAll(std::wstring& out, const wchar_t* format, va_list* args) {
    for (const wchar_t* p = format; *p;) {
        if (*p != L'%') {
            out += *p++;
            continue;
        }
        ++p;
        if (*p == L'%') {
            out += L'%';
            ++p;
            continue;
        }
        // The conversion is rebuilt for swprintf: flags, width and precision as given (a '*' is
        // replaced by its argument), the size prefix in this platform's spelling.
        std::wstring spec = L"%";
        while (*p && std::wcschr(L"-+ #0", *p))
            spec += *p++;
        // A width or precision: digits, or '*' for the next argument.
        auto number = [&] {
            if (*p == L'*') {
                spec += std::to_wstring(va_arg(*args, int));
                ++p;
            } else {
                while (*p >= L'0' && *p <= L'9')
                    spec += *p++;
            }
        };
        number();
        if (*p == L'.') {
            spec += *p++;
            number();
        }
        Size size = Size::None;
        if (p[0] == L'h' && p[1] == L'h') {
            size = Size::Char, p += 2;
        } else if (*p == L'h') {
            size = Size::Short, ++p;
        } else if (p[0] == L'l' && p[1] == L'l') {
            size = Size::LongLong, p += 2;
        } else if (*p == L'l') {
            size = Size::Long, ++p;
        } else if (*p == L'w') {
            size = Size::Wide, ++p;
        } else if (*p == L'L') {
            size = Size::LongDouble, ++p;
        } else if (*p == L'z') {
            size = Size::SizeT, ++p;
        } else if (*p == L'j') {
            size = Size::IntMax, ++p;
        } else if (*p == L't') {
            size = Size::PtrDiff, ++p;
        } else if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
            size = Size::LongLong, p += 3;
        } else if (p[0] == L'I' && p[1] == L'3' && p[2] == L'2') {
            size = Size::None, p += 3;
        } else if (*p == L'I') {
            size = Size::SizeT, ++p;
        }
        const wchar_t conversion = *p;
        if (!conversion)
            return false;
        ++p;

        switch (conversion) {
        case L'd':
        case L'i':
            if (!FormatOne(out, spec + L"lld", TakeInteger<long long>(size, args)))
                return false;
            break;
        case L'u':
        case L'o':
        case L'x':
        case L'X':
            if (!FormatOne(out, spec + L"ll" + conversion, TakeInteger<unsigned long long>(size, args)))
                return false;
            break;
        case L'e':
        case L'E':
        case L'f':
        case L'F':
        case L'g':
        case L'G':
        case L'a':
        case L'A':
            if (size == Size::LongDouble) {
                if (!FormatOne(out, spec + L"L" + conversion, va_arg(*args, long double)))
                    return false;
            } else if (!FormatOne(out, spec + conversion, va_arg(*args, double))) {
                return false;
            }
            break;
        case L'p':
            if (!FormatOne(out, spec + L"p", va_arg(*args, void*)))
                return false;
            break;
        case L'c':
        case L'C': {
            // Windows: %c in a wide format is wide, %C narrow; l/w make it wide, h narrow.
            const bool wide =
                size == Size::Long || size == Size::Wide || (size != Size::Short && conversion == L'c');
            const int value = va_arg(*args, int);
            const wchar_t ch =
                wide ? static_cast<wchar_t>(value) : static_cast<wchar_t>(static_cast<unsigned char>(value));
            if (!FormatOne(out, spec + L"lc", static_cast<wint_t>(ch)))
                return false;
            break;
        }
        case L's':
        case L'S': {
            const bool wide =
                size == Size::Long || size == Size::Wide || (size != Size::Short && conversion == L's');
            std::wstring text;
            if (wide) {
                const auto* value = va_arg(*args, const wchar_t*);
                text = value ? value : L"(null)";
            } else {
                const auto* value = va_arg(*args, const char*);
                text = value ? sim::FromUtf8(value) : L"(null)";
            }
            if (!FormatOne(out, spec + L"ls", text.c_str()))
                return false;
            break;
        }
        default:
            // %n (disabled on Windows) and anything unknown.
            return false;
        }
    }
    return true;
}

} // namespace

int _vsnwprintf_s(wchar_t* buffer, size_t sizeOfBuffer, size_t count, const wchar_t* format, va_list args) {
    if (!buffer || sizeOfBuffer == 0 || !format) {
        if (buffer && sizeOfBuffer > 0)
            buffer[0] = L'\0';
        errno = EINVAL;
        return -1;
    }
    std::wstring text;
    bool ok;
    try {
        va_list copy;
        va_copy(copy, args);
        ok = FormatAll(text, format, &copy);
        va_end(copy);
    } catch (...) {
        buffer[0] = L'\0';
        errno = ENOMEM;
        return -1;
    }
    const size_t limit = count == _TRUNCATE ? sizeOfBuffer - 1 : std::min(count, sizeOfBuffer - 1);
    if (count != _TRUNCATE && count >= sizeOfBuffer && text.size() >= sizeOfBuffer) {
        buffer[0] = L'\0';
        errno = ERANGE;
        return -1;
    }
    const size_t written = std::min(text.size(), limit);
    std::wmemcpy(buffer, text.data(), written);
    buffer[written] = L'\0';
    if (!ok) {
        errno = EINVAL;
        return -1;
    }
    return written < text.size() ? -1 : static_cast<int>(written);
}

int _snwprintf_s(wchar_t* buffer, size_t sizeOfBuffer, size_t count, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = _vsnwprintf_s(buffer, sizeOfBuffer, count, format, args);
    va_end(args);
    return result;
}
