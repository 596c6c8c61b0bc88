// Child-process commands for the controller table tests: a second process that builds its own
// table and takes or tries a controller's lock while the test looks on.
#include <cstdio>
#include <iostream>
#include <string>

#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "platform/win/WinSync.h"
#include "tests/helpers/ChildCommands.h"

namespace {

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// table-lock PORT: builds the table and prints "built <count>", then follows the lines it reads:
// "lock" takes the controller's lock ("locked"), "release" gives it back ("released"), "try"
// prints the result of a zero wait on the controller's mutex (given back at once when taken),
// "end" (or end of input) ends the process.
moxtest::ChildCommandRegistrar tableLock("table-lock", [](const std::vector<std::string>& a) {
    DeviceLocator table;
    Say("built " + std::to_string(DeviceLocator::GetCount()));
    ControllerLocator* record = DeviceLocator::FindByPort(std::stoi(a.at(0)));
    if (!record) {
        Say("no such port");
        return 1;
    }
    std::unique_ptr<ControllerLocatorLock> lock;
    std::string line;
    while (std::getline(std::cin, line) && line != "end") {
        if (line == "lock") {
            lock = std::make_unique<ControllerLocatorLock>(record);
            Say("locked");
        } else if (line == "release") {
            lock.reset();
            Say("released");
        } else if (line == "try") {
            const DWORD result = WaitForSingleObject(record->mutex, 0);
            if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
                ReleaseMutex(record->mutex);
            Say(std::to_string(result));
        }
    }
    return 0;
});

} // namespace
