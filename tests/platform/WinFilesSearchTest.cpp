// Folder searches with the Windows wildcard rules, reads of the store's files (unbuffered ones into
// aligned buffers only), and positioning a raw volume.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"
#include "platform/win/WinFiles.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

sim::MachineBuilder WithFiles() {
    sim::MachineBuilder pc = sim::MachineBuilder::Default();
    pc.Set("/files", R"({"folders": ["C:\\Empty"], "entries": [
        {"path": "C:\\Dir\\abc.txt", "size": 5000}, {"path": "C:\\Dir\\ABD.log", "size": 1},
        {"path": "C:\\Dir\\noext", "size": 2}, {"path": "C:\\Dir\\Sub\\deep.txt", "size": 3}]})");
    return pc;
}

struct Found {
    DWORD error = 0;
    std::vector<std::wstring> names;
};

Found Search(const std::wstring& pattern) {
    Found found;
    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        found.error = GetLastError();
        return found;
    }
    do
        found.names.push_back(std::wstring(data.cFileName) +
                              ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"/" : L""));
    while (FindNextFileW(search, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(search));
    return found;
}

TEST(WinFilesSearch, WildcardsMatchNamesWithoutCase) {
    sim::ScopedMachine machine(WithFiles());
    using Names = std::vector<std::wstring>;
    const struct {
        std::wstring pattern;
        DWORD error;
        Names names;
    } cases[] = {
        {L"C:\\Dir\\*", 0, {L"./", L"../", L"abc.txt", L"ABD.log", L"noext", L"Sub/"}},
        {L"C:\\Dir\\*.*", 0, {L"./", L"../", L"abc.txt", L"ABD.log", L"noext", L"Sub/"}},
        {L"C:\\dir\\ab?.*", 0, {L"abc.txt", L"ABD.log"}},
        {L"C:\\Dir\\A*.TXT", 0, {L"abc.txt"}},
        {L"C:\\Dir\\*.", 0, {L"./", L"../", L"noext", L"Sub/"}},
        {L"C:\\*", 0, {L"Dir/", L"Empty/"}},
        {L"C:\\Empty\\*", 0, {L"./", L"../"}},
        {L"C:\\Dir\\*.bin", ERROR_FILE_NOT_FOUND, {}},
        {L"C:\\Missing\\*", ERROR_PATH_NOT_FOUND, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern.begin(), c.pattern.end()));
        const Found found = Search(c.pattern);
        EXPECT_EQ(found.error, c.error);
        EXPECT_EQ(found.names, c.names);
    }
    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW(L"C:\\Dir\\abc.txt", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 5000u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    FindClose(search);
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(WinFilesSearch, UnbufferedReadsTakeAlignedBuffersAndEndAtTheSize) {
    sim::ScopedMachine machine(WithFiles());
    EXPECT_EQ(
        CreateFileW(L"C:\\Dir\\none.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    HANDLE file = CreateFileW(L"C:\\Dir\\abc.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_NO_BUFFERING, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    auto* buffer =
        static_cast<uint8_t*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 4096, 0u);
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(file, buffer + 1, 4096, &got, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(ReadFile(file, buffer, 100, &got, nullptr));
    EXPECT_TRUE(ReadFile(file, buffer, 8192, &got, nullptr));
    EXPECT_EQ(got, 5000u);
    EXPECT_TRUE(ReadFile(file, buffer, 8192, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(VirtualFree(buffer, 0, MEM_RELEASE));

    machine->faults().Add(R"({"kind": "VirtualAlloc", "match": {"size": 4096}})");
    EXPECT_EQ(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

TEST(WinFilesSearch, TheRawVolumeIsPositionedAndReadInSectors) {
    sim::MachineBuilder pc = sim::MachineBuilder::Default();
    pc.Set("/volumes/1/ntfs", R"({"sectors_per_cluster": 8, "mft_runs": [{"lcn": 16, "clusters": 4}]})");
    sim::ScopedMachine machine(pc);
    HANDLE volume = CreateFileA("\\\\.\\c:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> sector(512);
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(volume, sector.data(), 512, &got, nullptr));
    EXPECT_EQ(std::string(sector.begin() + 3, sector.begin() + 7), "NTFS");
    EXPECT_EQ(sector[11] | sector[12] << 8, 512);
    EXPECT_EQ(sector[48], 16);
    // The table's first record, at cluster 16: a position past 4 GiB needs the high half.
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(volume, 16 * 8 * 512, &high, FILE_BEGIN), 16u * 8 * 512);
    EXPECT_EQ(GetLastError(), NO_ERROR);
    ASSERT_TRUE(ReadFile(volume, sector.data(), 512, &got, nullptr));
    EXPECT_EQ(std::string(sector.begin(), sector.begin() + 4), "FILE");
    high = -1;
    EXPECT_EQ(SetFilePointer(volume, 0, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    high = 1;
    EXPECT_EQ(SetFilePointer(volume, 512, &high, FILE_BEGIN), 512u);
    EXPECT_EQ(high, 1);
    EXPECT_FALSE(ReadFile(volume, sector.data(), 100, &got, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(volume);
}

} // namespace
