// The Windows wide printf: %s and %c wide in a wide format, %S and %C narrow, the Windows size
// prefixes, and the bounded forms' cut and error answers.
#include <cerrno>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>

#include "platform/win/WinFormat.h"

namespace {

template <class... Args> std::wstring Format(const wchar_t* format, Args... args) {
    wchar_t buffer[256];
    const int written = _snwprintf_s(buffer, 256, _TRUNCATE, format, args...);
    EXPECT_GE(written, 0) << "formatting failed";
    return buffer;
}

TEST(WinFormat, StringsAndCharactersFollowTheWindowsWideRules) {
    EXPECT_EQ(Format(L"Name: %s", L"abc"), L"Name: abc");
    EXPECT_EQ(Format(L"%S", "narrow \xC3\xA9"), L"narrow \u00e9");
    EXPECT_EQ(Format(L"%ls|%ws|%hs", L"l", L"w", "h"), L"l|w|h");
    EXPECT_EQ(Format(L"%c%C%lc%hc", L'\u00e9', 'b', L'c', 'd'), L"\u00e9bcd");
    EXPECT_EQ(Format(L"[%6s][%-6S][%.2s]", L"ab", "cd", L"efgh"), L"[    ab][cd    ][ef]");
    EXPECT_EQ(Format(L"[%*s][%.*s]", 4, L"x", 1, L"yz"), L"[   x][y]");
    EXPECT_EQ(Format(L"%s %S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
              L"(null) (null)");
    EXPECT_EQ(Format(L"100%%"), L"100%");
}

TEST(WinFormat, NumbersWithStandardAndWindowsSizePrefixes) {
    EXPECT_EQ(Format(L"%d %i %u %x %X %o", -5, 7, 8u, 255u, 255u, 8u), L"-5 7 8 ff FF 10");
    EXPECT_EQ(Format(L"%#X %08x", 0xA0010003u, 0x1Fu), L"0XA0010003 0000001f");
    EXPECT_EQ(Format(L"%I64u %I64d %lld", uint64_t{1} << 40, int64_t{-1}, -2LL), L"1099511627776 -1 -2");
    EXPECT_EQ(Format(L"%I32u %Iu %zu %lu", 9u, size_t{10}, size_t{11}, 12ul), L"9 10 11 12");
    EXPECT_EQ(Format(L"%hd %hhu", 70000, 257), L"4464 1");
    EXPECT_EQ(Format(L"%.2f %g", 1.005, 0.5), L"1.00 0.5");
}

TEST(WinFormat, BoundedFormsCutAndAnswerErrors) {
    wchar_t buffer[8];
    EXPECT_EQ(_snwprintf_s(buffer, 8, _TRUNCATE, L"%s", L"abcdefghij"), -1);
    EXPECT_EQ(std::wstring(buffer), L"abcdefg");
    EXPECT_EQ(_snwprintf_s(buffer, 8, 3, L"%s", L"abcdef"), -1);
    EXPECT_EQ(std::wstring(buffer), L"abc");
    EXPECT_EQ(_snwprintf_s(buffer, 8, 7, L"%s", L"abcdefg"), 7);
    EXPECT_EQ(std::wstring(buffer), L"abcdefg");

    // A count the buffer cannot hold, with a text that does not fit: an empty text and ERANGE.
    errno = 0;
    EXPECT_EQ(_snwprintf_s(buffer, 8, 20, L"%s", L"abcdefghij"), -1);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(buffer[0], L'\0');

    // %n and unknown conversions are refused; what came before them stays.
    int count = 0;
    errno = 0;
    EXPECT_EQ(_snwprintf_s(buffer, 8, _TRUNCATE, L"ab%n", &count), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(std::wstring(buffer), L"ab");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(_snwprintf_s(buffer, 8, _TRUNCATE, L"x%k"), -1);
    EXPECT_EQ(std::wstring(buffer), L"x");

    EXPECT_EQ(_snwprintf_s(nullptr, 8, _TRUNCATE, L"a"), -1);
    EXPECT_EQ(_snwprintf_s(buffer, 0, _TRUNCATE, L"a"), -1);
    EXPECT_EQ(_snwprintf_s(buffer, 8, _TRUNCATE, nullptr), -1);
    EXPECT_EQ(buffer[0], L'\0');
}

} // namespace
