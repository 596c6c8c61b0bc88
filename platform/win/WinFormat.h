#pragma once
// Wide printf of the Windows C runtime. In a wide format "%s" and "%c" take wide arguments
// (const wchar_t*, wchar_t) and "%S" and "%C" narrow ones (const char*, char); "%ls"/"%lc"/"%ws"/"%wc"
// are always wide and "%hs"/"%hc" always narrow. Narrow text is read as UTF-8. Other conversions are
// those of printf, with the size prefixes "I64", "I32" and "I" besides the standard ones; "%n" is
// refused. A null string prints as "(null)".
#include <cstdarg>
#include <cstddef>

// As count: write what fits in the buffer and cut the rest.
constexpr size_t _TRUNCATE = static_cast<size_t>(-1);

// Formats at most `count` characters (or as many as fit, with _TRUNCATE) into `buffer` of
// `sizeOfBuffer` characters, always terminated. Returns the characters written, or -1 when the text
// was cut, the format is invalid (what came before the fault is kept) or the arguments are
// invalid (a null buffer or format, a zero size); then the thread's errno is EINVAL or, for a cut
// without _TRUNCATE that does not fit the buffer, ERANGE and the buffer holds an empty text.
int _vsnwprintf_s(wchar_t* buffer, size_t sizeOfBuffer, size_t count, const wchar_t* format, va_list args);
int _snwprintf_s(wchar_t* buffer, size_t sizeOfBuffer, size_t count, const wchar_t* format, ...);
