#include <thread>

#include <gtest/gtest.h>

#include "platform/win/WinBase.h"
#include "sim/Clock.h"
#include "sim/win32/HandleTable.h"

namespace {

TEST(WinBase, LastErrorBelongsToTheThread) {
    SetLastError(5);
    DWORD other = 0;
    std::thread([&] {
        other = GetLastError();
        SetLastError(87);
    }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 5u);
}

struct Probe : platform::KernelObject {
    int* closed;
    explicit Probe(int* c) : closed(c) {}
    void OnClose() override { ++*closed; }
};

TEST(WinBase, CloseHandleClosesOnceAndRejectsUnknownHandles) {
    int closed = 0;
    HANDLE h = platform::InsertHandle(std::make_shared<Probe>(&closed));
    ASSERT_NE(h, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(platform::LookupHandleAs<Probe>(h));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(closed, 1);
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(nullptr));
    // A new object never gets the closed handle's value.
    HANDLE h2 = platform::InsertHandle(std::make_shared<Probe>(&closed));
    EXPECT_NE(h2, h);
    CloseHandle(h2);
}

TEST(WinBase, SleepAndCountersRunOnTheSimulatedClock) {
    sim::ScopedVirtualClock clock(1000);
    ULONGLONG t0 = GetTickCount64();
    LARGE_INTEGER c0, c1, f;
    QueryPerformanceCounter(&c0);
    Sleep(60000);
    QueryPerformanceCounter(&c1);
    QueryPerformanceFrequency(&f);
    EXPECT_EQ(GetTickCount64() - t0, 60000u);
    EXPECT_EQ(GetTickCount(), static_cast<DWORD>(GetTickCount64()));
    EXPECT_EQ((c1.QuadPart - c0.QuadPart) / f.QuadPart, 60);
}

TEST(WinBase, FormatMessageGivesSystemTextsAndNothingForUnknownNumbers) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    for (DWORD code :
         {2u, 3u, 5u, 6u, 8u, 14u, 31u, 32u, 87u, 110u, 122u, 170u, 183u, 234u, 997u, 1060u, 1062u, 1722u}) {
        wchar_t buffer[256];
        DWORD n = FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 256,
                                 nullptr);
        EXPECT_GT(n, 2u) << code;
        EXPECT_EQ(std::wcslen(buffer), n);
        EXPECT_EQ(std::wstring(buffer + n - 2), L"\r\n");
    }
    wchar_t buffer[256];
    EXPECT_EQ(FormatMessageW(flags, nullptr, 5, 0, buffer, 256, nullptr), 19u);
    EXPECT_EQ(std::wstring(buffer), L"Access is denied.\r\n");

    SetLastError(0);
    EXPECT_EQ(FormatMessageW(flags, nullptr, 0x12345, 0, buffer, 256, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);

    EXPECT_EQ(FormatMessageW(flags, nullptr, 5, 0, buffer, 5, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    wchar_t* allocated = nullptr;
    EXPECT_EQ(FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 87, 0,
                             reinterpret_cast<wchar_t*>(&allocated), 0, nullptr),
              29u);
    EXPECT_EQ(std::wstring(allocated), L"The parameter is incorrect.\r\n");
    LocalFree(allocated);
}

} // namespace
