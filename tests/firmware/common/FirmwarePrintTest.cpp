// The firmware print helpers: every argument is one machine word, so the cases pass UINTN values
// (and pointers for %s), as firmware callers do.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "firmware/common/FirmwarePrint.h"

namespace {

struct WordCase {
    const char* format;
    UINTN argument;
    UINTN size;
    std::string expected;
};

std::string Format(UINTN size, const char* format, UINTN argument, UINTN* written) {
    std::vector<CHAR8> buffer(size + 8, '#');
    *written = FormatString(buffer.data(), size, format, argument);
    EXPECT_EQ(buffer[*written], '\0') << format;
    EXPECT_EQ(buffer[size], '#') << format << ": wrote past its size";
    return std::string(buffer.data(), *written);
}

TEST(FormatString, DirectivesOfOneWord) {
    const std::vector<WordCase> cases = {
        // A lone "%" or an unknown letter ends the output where it stands.
        {"ab%", 0, 64, "ab"},
        {"ab%qcd", 0, 64, "ab"},
        {"100%%", 0, 64, "100%"},
        {"%c!", 0x141, 64, "A!"},
        // All 32 bits set, under each integer letter; "l" changes nothing and the upper half is ignored.
        {"%d", 0xFFFFFFFFu, 64, "-1"},
        {"%u", 0xFFFFFFFFu, 64, "4294967295"},
        {"%x", 0xFFFFFFFFu, 64, "FFFFFFFF"},
        {"%ld", static_cast<UINTN>(0x1234567800000005ull), 64, "5"},
        {"%lx", static_cast<UINTN>(0xFFFFFFFF0000001Full), 64, "1F"},
        // The zero flag fills before the sign.
        {"%05d", static_cast<UINTN>(-42), 64, "00-42"},
        {"%5d", static_cast<UINTN>(-42), 64, "  -42"},
        {"%-5d|", 42, 64, "42   |"},
        // X sets the zero flag, x does not; neither fills without a width.
        {"%X", 0xA, 64, "A"},
        {"%4X", 0xA, 64, "000A"},
        {"%4x", 0xA, 64, "   A"},
        {"0x%08X", 0x1F, 64, "0x0000001F"},
        // Precision is a minimum number of characters, filled with zeros.
        {"%.8x", 0x1F, 64, "0000001F"},
        {"%8x", 0x1F, 64, "      1F"},
        {"%-8x|", 0x1F, 64, "1F      |"},
        // A zero after the first digit belongs to the number.
        {"%10d|", 7, 64, "         7|"},
        // Status names, and the hexadecimal of one without a name.
        {"%r", EFI_NOT_FOUND, 64, "EFI_NOT_FOUND"},
        {"%r", EFI_SUCCESS, 64, "EFI_SUCCESS"},
        {"%r", EFI_WARN_BUFFER_TOO_SMALL, 64, "EFI_WARN_BUFFER_TOO_SMALL"},
        {"%r", EFI_PROTOCOL_ERROR, 64, "EFI_PROTOCOL_ERROR"},
        {"%r", EFIERR(32), 64, "20"},
        {"%r", 5, 64, "5"},
        // RAID level names: exact values of the low 16 bits only.
        {"%R", 16, 64, "RaidYQR"},
        {"%R", 1, 64, "Raid0"},
        {"%R", 32, 64, "RaidSDR0"},
        {"%R", 3, 64, "RaidInvalidLevel"},
        {"%R", 0x10002, 64, "Raid1"},
        // The size bounds everything, the terminator included.
        {"abcdefghijklm", 0, 10, "abcdefghi"},
        {"%d", 123456, 4, "123"},
        {"%r", EFI_NOT_FOUND, 8, "EFI_NOT"},
        {"abc", 0, 1, ""},
    };
    for (const WordCase& c : cases) {
        UINTN written = 0;
        EXPECT_EQ(Format(c.size, c.format, c.argument, &written), c.expected) << c.format;
        EXPECT_EQ(written, c.expected.size()) << c.format;
    }
}

struct TextCase {
    const char* format;
    const char* text;
    UINTN size;
    std::string expected;
};

TEST(FormatString, StringsAndLineBreaks) {
    const std::vector<TextCase> cases = {
        {"%.3s|", "abcdef", 64, "abc|"},
        {"%6s|", "ab", 64, "ab    |"},
        // Strings are always left-justified; "-" and "0" do not apply.
        {"%-06s|", "ab", 64, "ab    |"},
        {"%s", nullptr, 64, "<null string>"},
        // A line feed is a carriage return and a line feed, both counted; in a string it counts as
        // one source character.
        {"a\nb", nullptr, 64, "a\r\nb"},
        {"%.2s|", "\nxy", 64, "\r\nx|"},
        // A line feed that no longer fits ends the output before it.
        {"ab\ncd", nullptr, 4, "ab"},
        {"ab\n", nullptr, 5, "ab\r\n"},
        {"%s", "ab\ncd", 4, "ab"},
    };
    for (const TextCase& c : cases) {
        std::vector<CHAR8> buffer(c.size + 8, '#');
        const UINTN written = FormatString(buffer.data(), c.size, c.format, c.text);
        EXPECT_EQ(std::string(buffer.data(), written), c.expected) << c.format;
        EXPECT_EQ(written, c.expected.size()) << c.format;
        EXPECT_EQ(buffer[written], '\0') << c.format;
        EXPECT_EQ(buffer[c.size], '#') << c.format;
    }
}

TEST(FormatString, SeveralArgumentsOneWordEach) {
    CHAR8 buffer[128];
    const UINTN written = FormatString(buffer, sizeof(buffer), " %2d.%-2d %s:%x %r\n", UINTN{5}, UINTN{12},
                                       "CPUID", UINTN{0x906EA}, EFI_INVALID_PARAMETER);
    EXPECT_EQ(std::string(buffer, written), "  5.12 CPUID:906EA EFI_INVALID_PARAMETER\r\n");
}

TEST(FormatString, NoRoomAtAll) {
    CHAR8 buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(FormatString(buffer, 0, "abc"), 0u);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(FormatString(nullptr, 10, "abc"), 0u);
}

TEST(FormatInteger, BasesAndRoom) {
    CHAR8 buffer[40];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(FormatInteger(buffer, 255, 0, 0, 0, 16, 2), 8u);
    EXPECT_STREQ(buffer, "11111111");
    // Bases without digits to write write nothing.
    for (UINTN base : {0, 1, 17}) {
        std::memset(buffer, '#', sizeof(buffer));
        EXPECT_EQ(FormatInteger(buffer, 5, 0, 0, 0, 16, base), 0u) << base;
        EXPECT_EQ(buffer[0], '#') << base;
    }
    // At most the room, then the terminator.
    EXPECT_EQ(FormatInteger(buffer, 123456, 0, 0, 0, 3, 10), 3u);
    EXPECT_STREQ(buffer, "123");
    EXPECT_EQ(FormatInteger(buffer, 0x80000000u, FORMAT_UNSIGNED, 0, 0, 16, 10), 10u);
    EXPECT_STREQ(buffer, "2147483648");
    EXPECT_EQ(FormatInteger(buffer, 0x80000000u, 0, 0, 0, 16, 10), 11u);
    EXPECT_STREQ(buffer, "-2147483648");
}

TEST(StatusToString, NamesAndHexadecimal) {
    CHAR8 buffer[32];
    EXPECT_EQ(StatusToString(EFI_OUT_OF_RESOURCES, buffer, sizeof(buffer)), 20u);
    EXPECT_STREQ(buffer, "EFI_OUT_OF_RESOURCES");
    // Beyond the named errors: the low 32 bits in hexadecimal.
    StatusToString(EFI_INCOMPATIBLE_VERSION, buffer, sizeof(buffer));
    EXPECT_STREQ(buffer, "19");
    StatusToString(EFIERR(0), buffer, sizeof(buffer));
    EXPECT_STREQ(buffer, "0");
    EXPECT_EQ(StatusToString(EFI_NOT_FOUND, buffer, 4), 3u);
    EXPECT_STREQ(buffer, "EFI");
    EXPECT_EQ(StatusToString(EFI_NOT_FOUND, buffer, 0), 0u);
}

} // namespace
