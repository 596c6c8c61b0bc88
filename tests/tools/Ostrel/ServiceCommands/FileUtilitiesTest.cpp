#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "sim/Machine.h"
#include "tools/Ostrel/ServiceCommands/FileUtilities.h"

namespace {

// The default machine has volume C:; these files live on it.
sim::MachineBuilder Machine(const std::string& longName) {
    sim::MachineBuilder builder = sim::MachineBuilder::Default();
    builder.Set("/files/entries", "[]")
        .Append("/files/entries", R"({"path": "C:\\Users\\Ada\\notes.txt", "id": "0x0001000000000A2F"})")
        .Append("/files/entries", R"({"path": "C:\\)" + longName + R"(", "id": 77})");
    return builder;
}

std::string ErrorOf(uint64_t id) {
    try {
        FileIdToPath(id);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

TEST(FileIdToPath, GivesTheDrivePathOfTheFile) {
    sim::ScopedMachine machine(Machine("x"));
    EXPECT_EQ(FileIdToPath(0x0001000000000A2Full), L"C:\\Users\\Ada\\notes.txt");
    EXPECT_EQ(machine->calls().Count("OpenFileById"), 1u);
}

TEST(FileIdToPath, AnUnknownIdCannotBeOpened) {
    sim::ScopedMachine machine(Machine("x"));
    EXPECT_EQ(ErrorOf(12345), "Error opening handle to fileId 12345");
}

TEST(FileIdToPath, APathThatFillsTheBufferIsRefused) {
    // The final path is "\\?\C:\" and the name: 259 characters fit, 260 and more do not.
    for (size_t finalLength : {259u, 260u, 300u}) {
        const std::string name(finalLength - 7, 'n');
        sim::ScopedMachine machine(Machine(name));
        if (finalLength < 260)
            EXPECT_EQ(FileIdToPath(77), L"C:\\" + std::wstring(name.begin(), name.end()));
        else
            EXPECT_EQ(ErrorOf(77), "Error getting path to fileId 77") << finalLength;
    }
}

TEST(FileIdToPath, WithoutVolumeCItThrowsWithoutText) {
    sim::ScopedMachine machine(Machine("x").Set("/volumes", "[]"));
    EXPECT_EQ(ErrorOf(77), "");
}

FILETIME Time(uint64_t unixSeconds, uint32_t ms = 0) {
    const uint64_t ticks = (unixSeconds + 11644473600ull) * 10000000ull + ms * 10000ull;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

TEST(FormatFileTime, DayMonthYearWithoutAndTheClockWithLeadingZeros) {
    EXPECT_EQ(FormatFileTime(Time(1577869503)), "1.1.2020; 09:05:03");
    EXPECT_EQ(FormatFileTime(Time(1614927849, 999)), "5.3.2021; 07:04:09");
    EXPECT_EQ(FormatFileTime(Time(1709208000)), "29.2.2024; 12:00:00");
    EXPECT_EQ(FormatFileTime(FILETIME{0, 0}), "1.1.1601; 00:00:00");
    EXPECT_EQ(FormatFileTime(FILETIME{0xFFFFFFFF, 0xFFFFFFFF}), "Not available");
}

TEST(FileTimeToSystemTime, FillsEveryField) {
    SYSTEMTIME t{};
    const FILETIME ft = Time(1614927849, 250);
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &t));
    EXPECT_EQ(t.wYear, 2021);
    EXPECT_EQ(t.wMonth, 3);
    EXPECT_EQ(t.wDay, 5);
    EXPECT_EQ(t.wDayOfWeek, 5); // a Friday
    EXPECT_EQ(t.wMilliseconds, 250);
}

} // namespace
