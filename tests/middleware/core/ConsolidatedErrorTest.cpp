#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/ErrorCodes.h"
#include "platform/win/WinBase.h"

namespace {

using E = CConsolidatedError;

std::string Message(const E& e) {
    return e.GetErrorMessage();
}
std::string Debug(const E& e) {
    return e.GetDebugInformation();
}

TEST(ConsolidatedErrorTypes, ConstructorsAndSettersFollowTheTypeRules) {
    struct Case {
        const char* what;
        E error;
        KEDO2_ERROR_TYPE type;
        uint32_t code;
        bool isError;
    };
    const auto set = [](auto&&... args) {
        E e;
        e.SetError(args...);
        return e;
    };
    const Case cases[] = {
        {"default", E(), KEDO2_ERROR_TYPE_NONE, E::SUCCESS, false},
        {"success code", E(E::SUCCESS), KEDO2_ERROR_TYPE_NONE, E::SUCCESS, false},
        {"win32 code is still a consolidated error", E(E::WIN32_ERROR), KEDO2_ERROR_TYPE_KEDO2,
         E::WIN32_ERROR, true},
        {"failure code", E(E::UVI_INVALIDHANDLE), KEDO2_ERROR_TYPE_KEDO2, E::UVI_INVALIDHANDLE, true},
        {"type 4 with a success code", set(KEDO2_ERROR_TYPE_KEDO2, 0x20000000ul, "x"), KEDO2_ERROR_TYPE_KEDO2,
         E::SUCCESS, true},
        {"type 1", set(KEDO2_ERROR_TYPE_WIN32, 5ul, "x"), KEDO2_ERROR_TYPE_WIN32, E::WIN32_ERROR, true},
        {"type 2 keeps the code", set(KEDO2_ERROR_TYPE_DRIVER, 7ul, "x"), KEDO2_ERROR_TYPE_DRIVER, E::SUCCESS,
         true},
        {"unknown type kept as it is", set(static_cast<KEDO2_ERROR_TYPE>(3), 9ul, "x"),
         static_cast<KEDO2_ERROR_TYPE>(3), E::SUCCESS, true},
        {"status 0", set(UVI_STATUS_SUCCESS, "m", "d"), KEDO2_ERROR_TYPE_NONE, E::SUCCESS, false},
        {"status 13", set(UVI_STATUS_BUFFER_TOO_SMALL, "m", "d"), KEDO2_ERROR_TYPE_KEDO2,
         E::UVI_BUFFERTOOSMALL, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.error.GetErrorType(), c.type);
        EXPECT_EQ(c.error.GetErrorCode(), c.code);
        EXPECT_EQ(c.error.IsError(), c.isError);
        EXPECT_EQ(c.error.IsSuccessful(), !c.isError);
    }
}

TEST(ConsolidatedErrorTypes, SetterNumbersAndTheirSideEffects) {
    E win32;
    win32.SetError(KEDO2_ERROR_TYPE_WIN32, 87ul, "open");
    EXPECT_EQ(win32.GetWin32Error(), 87u);
    EXPECT_EQ(win32.GetDriverError(), 0u);

    // The driver number rides on whatever code and code string were there.
    E driver(E::IOCTL_BAD_RESULTS);
    driver.SetError(KEDO2_ERROR_TYPE_DRIVER, 0x1234ul, nullptr);
    EXPECT_EQ(driver.GetErrorCode(), E::IOCTL_BAD_RESULTS);
    EXPECT_EQ(driver.GetDriverError(), 0x1234u);
    EXPECT_STREQ(driver.GetErrorCodeString(), "IOCTL Error: Results from driver failed verification.");
    E fresh;
    fresh.SetError(KEDO2_ERROR_TYPE_DRIVER, 1ul, nullptr);
    EXPECT_STREQ(fresh.GetErrorCodeString(), "No Error");

    // A code setter keeps the Win32 and driver numbers.
    win32.SetError(E::UVI_FAILED, "later");
    EXPECT_EQ(win32.GetWin32Error(), 87u);

    // Type 0 clears everything, the debug text just given included.
    E cleared(E::UVI_FAILED);
    cleared.SetError(E::UVI_FAILED, "m", "d");
    cleared.SetError(KEDO2_ERROR_TYPE_NONE, 5ul, "dropped");
    EXPECT_TRUE(cleared.IsSuccessful());
    EXPECT_EQ(cleared.GetErrorCode(), E::SUCCESS);
    EXPECT_EQ(cleared.GetDebugInformation(static_cast<char*>(nullptr), 0), 0u);
    EXPECT_EQ(cleared.GetErrorMessage(static_cast<char*>(nullptr), 0), 0u);

    E pending(E::IOCTL_PENDING);
    EXPECT_TRUE(pending.IsBusy());
    EXPECT_TRUE(pending.IsPending());
    E other;
    other.SetError(KEDO2_ERROR_TYPE_DRIVER, 0xA0030131ul, nullptr);
    EXPECT_FALSE(other.IsBusy());
}

TEST(ConsolidatedErrorCodeString, FollowsTypeAndCode) {
    struct Case {
        KEDO2_ERROR_TYPE type;
        unsigned long value;
        const char* expected;
    };
    const Case cases[] = {
        {KEDO2_ERROR_TYPE_KEDO2, E::SUCCESS, "No Error"},
        {KEDO2_ERROR_TYPE_KEDO2, E::WIN32_ERROR, "Win32 Error"},
        {KEDO2_ERROR_TYPE_KEDO2, E::GENERAL_FAULT, "Fault in KEDO2"},
        {KEDO2_ERROR_TYPE_KEDO2, E::UVI_INVALIDHANDLE, "UVI Status: Invalid Handle"},
        {KEDO2_ERROR_TYPE_KEDO2, E::UVI_FAULT, "Fault in UVI"},
        {KEDO2_ERROR_TYPE_KEDO2, E::UVI_NO_CONTROLLER_FOUND, "Error Missing Error String"},
        {KEDO2_ERROR_TYPE_KEDO2, E::QEV_MISSING_PARAM, "A required parameter missing from action."},
        {KEDO2_ERROR_TYPE_KEDO2, E::IOCTL_INTERFACE_NOT_SUPPORTED,
         "IOCTL Error: Interface version not supported"},
        {KEDO2_ERROR_TYPE_KEDO2, E::DRIVER_CSMI_CRITICAL_ERROR,
         "DRIVER Error: CSMI SSP Passthru returned error on mandatory command."},
        {KEDO2_ERROR_TYPE_KEDO2, E::RAID_IXO_INVALID_PARAMETER, "RAID IXO Status: Inavalid Parameter"},
        {KEDO2_ERROR_TYPE_KEDO2, E::RAID_IXO_AOAC_NOT_CONFIGURED, "Error Missing Error String"},
        {KEDO2_ERROR_TYPE_KEDO2, E::CFG_INVALID_ERROR_CODE, "RAID Config Status: Invalid Error Code"},
        {KEDO2_ERROR_TYPE_KEDO2, E::CFG_NV_CACHE_IN_USE, "Error Missing Error String"},
        {KEDO2_ERROR_TYPE_KEDO2, E::HALVEX_CONCATENATE_KEDO2_ALREADYENABLED, "Error Missing Error String"},
        {KEDO2_ERROR_TYPE_KEDO2, E::MW_SERVER_SUCCESS, "Error Missing Error String"},
        {KEDO2_ERROR_TYPE_KEDO2, 0xA0FF0001ul, "Error Missing Error String"},
        {KEDO2_ERROR_TYPE_WIN32, 5, "Access is denied.\r\n"},
        {KEDO2_ERROR_TYPE_WIN32, 170, "The requested resource is in use.\r\n"},
        {KEDO2_ERROR_TYPE_WIN32, 0x7FFF1234, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.type << " " << c.value);
        E e;
        e.SetError(c.type, c.value, static_cast<const char*>(nullptr));
        EXPECT_STREQ(e.GetErrorCodeString(), c.expected);
    }
    EXPECT_STREQ(E(E::SUCCESS).GetErrorCodeString(), "No Error");
    EXPECT_STREQ(E(E::HALVEX_CONCATENATE_KEDO2_ALREADYENABLED).GetErrorCodeString(),
                 "Error Missing Error String");
    E driver;
    driver.SetError(KEDO2_ERROR_TYPE_DRIVER, 3ul, static_cast<const char*>(nullptr));
    EXPECT_STREQ(E(driver).GetErrorCodeString(), "Driver Error");
    E unknown;
    unknown.SetError(static_cast<KEDO2_ERROR_TYPE>(8), 3ul, static_cast<const char*>(nullptr));
    EXPECT_STREQ(E(unknown).GetErrorCodeString(), "Unknown Error");
}

TEST(ConsolidatedErrorCodeString, Win32LookupLeavesTheThreadsLastErrorAlone) {
    SetLastError(1234);
    E e;
    e.SetError(KEDO2_ERROR_TYPE_WIN32, 0x7FFF1234ul, static_cast<const char*>(nullptr));
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(ConsolidatedErrorCodeString, ClearErrorLeavesNoneUntilTheNextSetter) {
    E e(E::UVI_FAILED);
    e.ClearError();
    EXPECT_STREQ(e.GetErrorCodeString(), "");
    char buffer[E::SMALL_STRING_SIZE];
    EXPECT_EQ(e.GetErrorCodeString(buffer, sizeof buffer), 0u);
    // Assignment copies the missing code string as it stands; copy construction rebuilds it.
    E assigned(E::UVI_FAILED);
    assigned = e;
    EXPECT_STREQ(assigned.GetErrorCodeString(), "");
    EXPECT_STREQ(E(e).GetErrorCodeString(), "No Error");
    e.SetError(E::UVI_TIMEOUT, static_cast<const char*>(nullptr));
    EXPECT_STREQ(e.GetErrorCodeString(), "UVI Status: Timeout");
}

TEST(ConsolidatedErrorCodeSet, IsCompleteAndOrdered) {
    const auto table = ErrorCodeTable();
    EXPECT_EQ(table.size(), 336u);
    size_t withText = 0;
    std::set<std::string> names;
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(table[i].name);
        if (i > 0) {
            EXPECT_LT(table[i - 1].code, table[i].code);
        }
        const uint32_t top = table[i].code >> 24;
        EXPECT_TRUE(top == 0xA0 || table[i].code == E::SUCCESS || table[i].code == E::WIN32_ERROR ||
                    table[i].code == E::MW_SERVER_SUCCESS);
        withText += table[i].text != nullptr;
        names.insert(table[i].name);
        EXPECT_EQ(FindErrorCode(table[i].code), &table[i]);
    }
    EXPECT_EQ(withText, 132u);
    EXPECT_EQ(names.size(), table.size());
    EXPECT_EQ(FindErrorCode(0xA0010017), nullptr);
    EXPECT_STREQ(FindErrorCode(E::HALVEX_CRITICAL_SECTION_RE_ENTRY)->name,
                 "HALVEX CRITICAL SECTION RE ENTRY");
}

TEST(ConsolidatedErrorTexts, PiecesAreCutAndJoinedByOneNewline) {
    E long1;
    long1.AddErrorMessage("%s", std::string(3000, 'x').c_str());
    EXPECT_EQ(Message(long1), std::string(E::MAX_ERROR_STRING_SIZE, 'x'));

    E setLong;
    setLong.SetError(E::UVI_FAILED, std::string(1500, 'y').c_str(), std::string(1025, 'z').c_str());
    EXPECT_EQ(Message(setLong), std::string(1024, 'y'));
    EXPECT_EQ(Debug(setLong), std::string(1024, 'z'));

    E joined;
    joined.AddErrorMessage("a");
    joined.AddErrorMessage("b%d", 2);
    EXPECT_EQ(Message(joined), "a\nb2");
    joined.AddErrorMessage("%s", "");
    EXPECT_EQ(Message(joined), "a\nb2\n");

    // The total grows without limit; only each piece is cut.
    E many;
    for (int i = 0; i < 3; ++i)
        many.AddDebugInformation("%s", std::string(1024, 'd').c_str());
    EXPECT_EQ(Debug(many).size(), 3u * 1024u + 2u);

    // An empty first piece makes a present, empty text.
    E empty;
    empty.AddErrorMessage("%s", "");
    EXPECT_EQ(empty.GetErrorMessage(static_cast<char*>(nullptr), 0), 1u);

    // A cut never splits a UTF-8 sequence, so the text still converts to wide.
    E utf8;
    utf8.SetError(E::UVI_FAILED, (std::string(1023, 'a') + "\xC3\xA9").c_str());
    EXPECT_EQ(Message(utf8), std::string(1023, 'a'));
}

// The printf-style appenders cut on a character boundary too, so the wide getters still give the
// text (a cut inside a sequence would make them report a size and write nothing).
TEST(ConsolidatedErrorTexts, FormattedPiecesAreCutOnACharacterBoundary) {
    for (const char* tail : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
        SCOPED_TRACE(tail);
        E e;
        e.AddErrorMessage("%s%s", std::string(1023, 'a').c_str(), tail);
        EXPECT_EQ(Message(e), std::string(1023, 'a'));
        std::vector<wchar_t> wide(2048);
        ASSERT_EQ(e.GetErrorMessage(wide.data(), static_cast<int>(wide.size() * sizeof(wchar_t))), 1024u);
        EXPECT_EQ(std::wstring(wide.data()), std::wstring(1023, L'a'));
    }
    E exact;
    exact.AddDebugInformation("%s\xC3\xA9", std::string(1022, 'b').c_str());
    EXPECT_EQ(Debug(exact), std::string(1022, 'b') + "\xC3\xA9");
}

// A wide format follows the Windows rules: %s and %c take wide arguments, %S and %C narrow ones.
TEST(ConsolidatedErrorTexts, WideFormatsTakeWideStringsForPercentS) {
    E e;
    e.AddErrorMessage(L"Name: %s", L"abc");
    EXPECT_EQ(Message(e), "Name: abc");
    E mixed;
    mixed.AddDebugInformation(L"%s/%S/%c/%C/%5.2s|%-4s|", L"w\u00e9", "n\xC3\xA9", L'\u00e9', 'x', L"wide",
                              L"ab");
    EXPECT_EQ(Debug(mixed), "w\xC3\xA9/n\xC3\xA9/\xC3\xA9/x/   wi|ab  |");
}

TEST(ConsolidatedErrorTexts, TextsThatAreNotFormatsStayAsTheyStand) {
    E e;
    e.SetError(E::UVI_FAILED, "100% done %s %n", "debug %d");
    EXPECT_EQ(Message(e), "100% done %s %n");
    EXPECT_EQ(Debug(e), "debug %d");

    const E copy(e);
    EXPECT_EQ(Message(copy), "100% done %s %n");

    E taker;
    taker.SetError(E::IOCTL_FAULT, "first", "dbg");
    taker.SetError(e);
    EXPECT_EQ(Message(taker), "first\n100% done %s %n");
    EXPECT_EQ(Debug(taker), "dbg\ndebug %d");
    EXPECT_EQ(taker.GetErrorCode(), E::UVI_FAILED);
    EXPECT_STREQ(taker.GetErrorCodeString(), "UVI Status: Failed");
}

TEST(ConsolidatedErrorTexts, TakeOverCopiesNumbersAndAppendsOnlyPresentTexts) {
    E win32;
    win32.SetError(KEDO2_ERROR_TYPE_WIN32, 5ul, "open failed");
    win32.SetError(KEDO2_ERROR_TYPE_DRIVER, 9ul, static_cast<const char*>(nullptr));
    E taker;
    taker.SetError(E::UVI_FAILED, "outer");
    taker.SetError(win32);
    EXPECT_EQ(taker.GetErrorType(), KEDO2_ERROR_TYPE_DRIVER);
    EXPECT_EQ(taker.GetErrorCode(), E::WIN32_ERROR);
    EXPECT_EQ(taker.GetWin32Error(), 5u);
    EXPECT_EQ(taker.GetDriverError(), 9u);
    EXPECT_EQ(Message(taker), "outer");
    EXPECT_EQ(Debug(taker), "open failed");
    EXPECT_STREQ(taker.GetErrorCodeString(), "Driver Error");
}

TEST(ConsolidatedErrorTexts, CopyAndAssignmentAreDeepAndSelfAssignmentIsHarmless) {
    E original;
    original.SetError(E::UVI_FAILED, "m", "d");
    E copy(original);
    E assigned;
    assigned.SetError(E::IOCTL_FAULT, "old", "old");
    assigned = original;
    original.AddErrorMessage("more");
    EXPECT_EQ(Message(copy), "m");
    EXPECT_EQ(Message(assigned), "m");
    EXPECT_EQ(Debug(assigned), "d");
    EXPECT_NE(copy.GetErrorMessage(), original.GetErrorMessage());

    E& self = assigned;
    assigned = self;
    EXPECT_EQ(Message(assigned), "m");
    EXPECT_EQ(assigned.GetErrorCode(), E::UVI_FAILED);
    EXPECT_STREQ(assigned.GetErrorCodeString(), "UVI Status: Failed");
}

TEST(ConsolidatedErrorTexts, WideFormsConvertToNarrow) {
    E e;
    e.SetError(E::UVI_FAILED, L"caf\u00e9", L"debug");
    EXPECT_EQ(Message(e), "caf\xC3\xA9");
    EXPECT_EQ(Debug(e), "debug");
    e.AddErrorMessage(L"%ls=%d", L"count", 3);
    EXPECT_EQ(Message(e), "caf\xC3\xA9\ncount=3");
    e.AddDebugInformation(static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(Debug(e), "debug");

    // A character without a narrow form makes the piece empty (its newline still joins it).
    const wchar_t surrogate[] = {L'a', static_cast<wchar_t>(0xD800), L'\0'};
    e.AddErrorMessage(L"%ls", surrogate);
    EXPECT_EQ(Message(e), "caf\xC3\xA9\ncount=3\n");

    E status;
    status.SetError(UVI_STATUS_INVALID_SESSION, L"m", static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(status.GetErrorCode(), E::UVI_INVALIDSESSION);
    EXPECT_EQ(Message(status), "m");
    EXPECT_EQ(status.GetDebugInformation(static_cast<char*>(nullptr), 0), 0u);

    E win32;
    win32.SetError(KEDO2_ERROR_TYPE_WIN32, 2ul, L"wide debug");
    EXPECT_EQ(win32.GetWin32Error(), 2u);
    EXPECT_EQ(Debug(win32), "wide debug");

    E longWide;
    longWide.AddErrorMessage(L"%ls", std::wstring(2000, L'w').c_str());
    EXPECT_EQ(Message(longWide), std::string(1024, 'w'));
}

TEST(ConsolidatedErrorSizeProtocol, NarrowGetters) {
    E e;
    e.SetError(E::UVI_FAILED, "abc");
    EXPECT_EQ(e.GetErrorMessage(static_cast<char*>(nullptr), 0), 4u);

    char small[3] = {'x', 'y', 'z'};
    EXPECT_EQ(e.GetErrorMessage(small, sizeof small), 0u);
    EXPECT_EQ(std::string(small, 3), "xyz");

    char big[10];
    std::memset(big, 'q', sizeof big);
    EXPECT_EQ(e.GetErrorMessage(big, sizeof big), 4u);
    EXPECT_EQ(std::string(big, sizeof big), std::string("abc\0\0\0\0\0\0\0", 10));

    EXPECT_EQ(e.GetErrorMessage(big, -1), 0u);
    EXPECT_EQ(e.GetDebugInformation(big, sizeof big), 0u); // no debug text at all

    char code[E::SMALL_STRING_SIZE];
    EXPECT_EQ(e.GetErrorCodeString(code, sizeof code), std::strlen("UVI Status: Failed") + 1);
    EXPECT_STREQ(code, "UVI Status: Failed");
}

TEST(ConsolidatedErrorSizeProtocol, WideGettersCountBytesAndNeverOverrun) {
    E e;
    e.SetError(E::UVI_FAILED, "abc");
    EXPECT_EQ(e.GetErrorMessage(static_cast<wchar_t*>(nullptr), 0), 4u);

    // Heap blocks of the exact size, so the sanitizer sees any write past them.
    {
        std::vector<wchar_t> buffer(10, L'q');
        EXPECT_EQ(e.GetErrorMessage(buffer.data(), static_cast<int>(buffer.size() * sizeof(wchar_t))), 4u);
        EXPECT_EQ(std::wstring(buffer.data()), L"abc");
    }
    {
        // 10 bytes hold two wide characters here: the text is cut, the terminator kept.
        auto* buffer = static_cast<wchar_t*>(std::malloc(10));
        EXPECT_EQ(e.GetErrorMessage(buffer, 10), 4u);
        EXPECT_EQ(std::wstring(buffer), L"a");
        std::free(buffer);
    }
    {
        // Too small even for the narrow text: an empty wide string and 0.
        E longer;
        longer.SetError(E::UVI_FAILED, "abcdefgh");
        std::vector<wchar_t> buffer(2, L'q');
        EXPECT_EQ(longer.GetErrorMessage(buffer.data(), 8), 0u);
        EXPECT_EQ(buffer[0], L'\0');
        EXPECT_EQ(buffer[1], L'q');
    }
    {
        // Fewer bytes than one wide character: nothing may be written.
        wchar_t one = L'q';
        EXPECT_EQ(e.GetErrorMessage(&one, 3), 0u);
        EXPECT_EQ(one, L'q');
    }
    E utf8;
    utf8.SetError(E::UVI_FAILED, "caf\xC3\xA9", "dbg");
    std::vector<wchar_t> buffer(32);
    EXPECT_EQ(utf8.GetErrorMessage(buffer.data(), static_cast<int>(buffer.size() * sizeof(wchar_t))), 6u);
    EXPECT_EQ(std::wstring(buffer.data()), L"caf\u00e9");
    EXPECT_EQ(utf8.GetDebugInformation(buffer.data(), static_cast<int>(buffer.size() * sizeof(wchar_t))), 4u);
    EXPECT_EQ(std::wstring(buffer.data()), L"dbg");
    EXPECT_EQ(utf8.GetErrorCodeString(buffer.data(), static_cast<int>(buffer.size() * sizeof(wchar_t))), 19u);
    EXPECT_EQ(std::wstring(buffer.data()), L"UVI Status: Failed");
}

TEST(ConsolidatedErrorSummary, OneLinePerType) {
    struct Case {
        KEDO2_ERROR_TYPE type;
        unsigned long value;
        const char* expected;
    };
    const Case cases[] = {
        {KEDO2_ERROR_TYPE_KEDO2, 0xA0010003, "KEDO2 error. Code: 0XA0010003"},
        {KEDO2_ERROR_TYPE_WIN32, 5, "Win32 error. Last error code: 5"},
        {KEDO2_ERROR_TYPE_WIN32, 0xFFFFFFFF, "Win32 error. Last error code: 4294967295"},
        {KEDO2_ERROR_TYPE_DRIVER, 0x80000001, "Driver error. Driver error code: 2147483649"},
        {static_cast<KEDO2_ERROR_TYPE>(3), 0, "Unknown error. Code: 0X20000000"},
    };
    for (const Case& c : cases) {
        E e;
        e.SetError(c.type, c.value, static_cast<const char*>(nullptr));
        EXPECT_EQ(e.getErrorTypeSummary(), c.expected);
    }
    EXPECT_EQ(E().getErrorTypeSummary(), "No error");
}

TEST(ConsolidatedErrorStatus, StatusesMapToCodes) {
    struct Case {
        uint32_t status;
        uint32_t code;
    };
    const Case cases[] = {
        {0, 0x20000000},  {1, 0xA0010001},  {2, 0xA0010002},  {13, 0xA001000D}, {22, 0xA0010016},
        {23, 0xA00000AA}, {24, 0xA0010018}, {25, 0xA0000003}, {26, 0xA0000003}, {94, 0xA0000003},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const auto status = static_cast<_UVI_Status>(c.status);
        EXPECT_EQ(MapUviStatusToCode(status), c.code);
        E e;
        e.SetError(status, "m", "d");
        EXPECT_EQ(e.GetErrorCode(), c.code);
        EXPECT_EQ(e.IsError(), c.status != 0);
    }
}

TEST(ConsolidatedErrorWyn, EndOfLifeError) {
    const E e = E::GetWynEolError();
    EXPECT_EQ(e.GetErrorType(), KEDO2_ERROR_TYPE_KEDO2);
    EXPECT_EQ(e.GetErrorCode(), E::UVI_NOTSUPPORTED);
    EXPECT_STREQ(e.GetErrorMessage(),
                 "WYN is not supported in this version of the MOX Driver. Note: Booting from "
                 "previously existing WYN volumes is allowed.");
}

} // namespace
