#include <clocale>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/TextConversions.h"

namespace {

TEST(TextConversions, NarrowAndWideRoundTrip) {
    struct Case {
        std::wstring wide;
        std::string narrow;
    };
    const Case cases[] = {
        {L"", ""},
        {L"Volume_0001", "Volume_0001"},
        {L"caf\u00e9", "caf\xC3\xA9"},
        {L"\u20ac", "\xE2\x82\xAC"},
        {std::wstring(1, static_cast<wchar_t>(0x1D11E)), "\xF0\x9D\x84\x9E"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToNarrowString(c.wide), c.narrow);
        EXPECT_EQ(ToWideString(c.narrow), c.wide);
    }
}

TEST(TextConversions, ResultDoesNotDependOnTheProcessLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(ToNarrowString(L"caf\u00e9"), "caf\xC3\xA9");
    EXPECT_EQ(ToWideString("caf\xC3\xA9"), L"caf\u00e9");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(TextConversions, UnconvertibleTextBecomesEmpty) {
    // Characters without a narrow form: a lone surrogate and a value beyond Unicode.
    EXPECT_EQ(ToNarrowString(std::wstring{L'a', static_cast<wchar_t>(0xD800), L'b'}), "");
    EXPECT_EQ(ToNarrowString(std::wstring{L'a', static_cast<wchar_t>(0x110000)}), "");
    const char* malformed[] = {"\xC3", "a\x80z", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"};
    for (const char* text : malformed) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ToWideString(text), L"");
    }
}

// A character above U+FFFF is one unit in UTF-32 and a surrogate pair in UTF-16 (a 2-byte
// wchar_t): both widths keep it whole in both directions.
TEST(TextConversions, CharactersAboveTheBasicPlaneSurviveEitherWidth) {
    const std::string narrow = "disk \xF0\x9F\x98\x80 \xC3\xA9";
    EXPECT_EQ(NarrowToUtf32String(narrow), U"disk \U0001F600 \u00E9");
    EXPECT_EQ(Utf32ToNarrowString(U"disk \U0001F600 \u00E9"), narrow);
    const std::u16string utf16 = NarrowToUtf16String(narrow);
    EXPECT_EQ(utf16, u"disk \xD83D\xDE00 \u00E9");
    EXPECT_EQ(utf16.size(), 9u);
    EXPECT_EQ(Utf16ToNarrowString(utf16), narrow);
    EXPECT_EQ(ToNarrowString(ToWideString(narrow)), narrow);

    // An unpaired surrogate of either width has no narrow form.
    EXPECT_EQ(Utf16ToNarrowString(u"a\xD83D"), "");
    EXPECT_EQ(Utf16ToNarrowString(u"a\xDE00"
                                  u"b"),
              "");
    EXPECT_EQ(Utf32ToNarrowString(U"a\xD83D"), "");
}

TEST(TextConversions, ConversionEndsAtTheFirstNul) {
    EXPECT_EQ(ToNarrowString(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(ToWideString(std::string("ab\0cd", 5)), L"ab");
}

TEST(TextConversions, MultiStringsSplitUpToTheFirstEmptyText) {
    struct Case {
        std::vector<wchar_t> list;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {{L'a', 0, L'b', 0, 0}, {L"a", L"b"}},
        {{L'a', L'b', L'c', 0, L'd', 0, 0}, {L"abc", L"d"}},
        {{0, 0}, {}},
        {{L'a', 0, 0, L'b', 0, 0}, {L"a"}},
        {{0, L'a', 0, 0}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MultiSzToStrings(c.list), c.expected);
        EXPECT_EQ(MultiSzToStrings(c.list.data()), c.expected);
    }
    EXPECT_TRUE(MultiSzToStrings(static_cast<const wchar_t*>(nullptr)).empty());
    EXPECT_TRUE(MultiSzToStrings(std::vector<wchar_t>{}).empty());
    // A list that lacks its final zeros is never read past the vector's end.
    EXPECT_EQ(MultiSzToStrings(std::vector<wchar_t>{L'a', 0, L'b', L'c'}),
              (std::vector<std::wstring>{L"a", L"bc"}));
    EXPECT_EQ(MultiSzToStrings(std::vector<wchar_t>{L'a', 0}), (std::vector<std::wstring>{L"a"}));
}

TEST(TextConversions, SmallFormatters) {
    EXPECT_EQ(BoolToString(true), "True");
    EXPECT_EQ(BoolToString(false), "False");
    EXPECT_EQ(ToHexString(0xA0010003), "0XA0010003");
    EXPECT_EQ(ToHexString(0), "0");
    EXPECT_EQ(ToHexString(0xFFFFFFFF), "0XFFFFFFFF");
    EXPECT_EQ(ToHexString(0x1f), "0X1F");

    char buffer[16];
    EXPECT_EQ(FormatToBuffer16(buffer, "%s", "123456789012345"), 15);
    EXPECT_STREQ(buffer, "123456789012345");
    EXPECT_EQ(FormatToBuffer16(buffer, "%s", "1234567890123456"), -1);
}

TEST(TextConversions, GuidInRegistryForm) {
    const GUID diskInterface = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    EXPECT_EQ(GuidToString(diskInterface), L"{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}");
    const GUID zero = {};
    const std::wstring text = GuidToString(zero);
    EXPECT_EQ(text, L"{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(text.size(), 38u);
}

} // namespace
