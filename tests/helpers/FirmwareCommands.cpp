// Child-process commands for the tests of firmware variables and the remap request: a second
// process that reads the variable store or changes the remap request while the test looks on.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "middleware/api/ZrcRemapStore.h"
#include "middleware/core/SystemPrivilege.h"
#include "platform/win/WinFirmware.h"
#include "platform/win/WinSync.h"
#include "tests/helpers/ChildCommands.h"

namespace {

std::vector<uint16_t> Locations(const std::vector<std::string>& args, size_t first) {
    std::vector<uint16_t> out;
    for (size_t i = first; i < args.size(); ++i)
        out.push_back(static_cast<uint16_t>(std::strtoul(args[i].c_str(), nullptr, 0)));
    return out;
}

// firmware-get NAME GUID: prints the variable's bytes in hex, or "error N".
moxtest::ChildCommandRegistrar firmwareGet("firmware-get", [](const std::vector<std::string>& a) {
    SystemPrivilege privilege(SE_SYSTEM_ENVIRONMENT_NAME);
    unsigned char buffer[4096];
    const DWORD size =
        GetFirmwareEnvironmentVariableA(a.at(0).c_str(), a.at(1).c_str(), buffer, sizeof buffer);
    if (size == 0) {
        std::printf("error %u\n", GetLastError());
        return 1;
    }
    for (DWORD i = 0; i < size; ++i)
        std::printf("%02x", buffer[i]);
    std::printf("\n");
    return 0;
});

// zrc-schedule LOCATION...: schedules the locations; prints the result code.
moxtest::ChildCommandRegistrar zrcSchedule("zrc-schedule", [](const std::vector<std::string>& a) {
    ZrcRemapRequestCache cache;
    std::printf("%#X\n", static_cast<unsigned>(scheduleZrcRemap(cache, Locations(a, 0)).GetErrorCode()));
    return 0;
});

// zrc-schedule-held SIGNAL GO LOCATION...: schedules the locations on a second thread, whose write a
// hold rule of the machine's faults keeps waiting ({"hold": {"signal": SIGNAL, "wait": GO}}):
// prints "held N" once the write is reached, waits for a line, sets GO and prints the result code.
moxtest::ChildCommandRegistrar zrcScheduleHeld("zrc-schedule-held", [](const std::vector<std::string>& a) {
    HANDLE signal = CreateEventA(nullptr, TRUE, FALSE, a.at(0).c_str());
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, a.at(1).c_str());
    if (!signal || !go) {
        std::printf("error %u\n", GetLastError());
        return 1;
    }
    ZrcRemapRequestCache cache;
    KEDO2_ERRORS code = CConsolidatedError::SUCCESS;
    std::thread worker([&] { code = scheduleZrcRemap(cache, Locations(a, 2)).GetErrorCode(); });
    const DWORD held = WaitForSingleObject(signal, INFINITE);
    std::printf("held %u\n", held);
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    SetEvent(go);
    worker.join();
    std::printf("%#X\n", static_cast<unsigned>(code));
    CloseHandle(signal);
    CloseHandle(go);
    return 0;
});

} // namespace
