#pragma once
// Conversions between the narrow texts of the error model and the wide texts of the Windows
// interfaces, multi-string splitting, and small formatters for messages. None of them throws for bad
// input: a text that cannot be converted becomes empty.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/WinTypes.h"

// Both directions use UTF-8 as the narrow form whatever the process locale is, so results do not
// depend on which thread set what locale. A wide character without a UTF-8 form (a surrogate, or a
// value beyond U+10FFFF) and a malformed UTF-8 sequence make the whole result empty. Conversion ends
// at the first NUL, as a C string conversion would.
// The wide form follows the width of wchar_t: UTF-32 here, UTF-16 with surrogate pairs where
// wchar_t has 2 bytes (Windows).
std::string ToNarrowString(const std::wstring& text);
std::wstring ToWideString(const std::string& text);
// The two wide forms by name, whatever the width of wchar_t is on this platform.
std::string Utf16ToNarrowString(std::u16string_view text);
std::string Utf32ToNarrowString(std::u32string_view text);
std::u16string NarrowToUtf16String(const std::string& text);
std::u32string NarrowToUtf32String(const std::string& text);

// Splits a NUL-separated list ending in an empty text. The first empty text ends the list.
std::vector<std::wstring> MultiSzToStrings(const wchar_t* multiSz);
// The same; the vector's end also ends the list, so an unterminated list is never read past.
std::vector<std::wstring> MultiSzToStrings(const std::vector<wchar_t>& multiSz);

std::string BoolToString(bool value);

// "%#X": "0XA0010003", and "0" for 0.
std::string ToHexString(uint32_t value);

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, upper case, braces included (the registry form).
std::wstring GuidToString(const GUID& guid);

// printf into a 16-character buffer: the characters written, or -1 when formatting failed or the
// text did not fit.
int FormatToBuffer16(char (&buffer)[16], const char* format, ...) __attribute__((format(printf, 2, 3)));
