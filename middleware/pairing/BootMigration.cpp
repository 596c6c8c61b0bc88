#include "middleware/pairing/BootMigration.h"

#include <cctype>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "middleware/core/Registry.h"
#include "middleware/pairing/MigrationStatusCommand.h"
#include "platform/win/Trace.h"

namespace {

constexpr uint64_t kBootTimeMigration = 4;
// The service's native program, as it stands in "BootExecute" (compared in lower case).
constexpr const char* kNativeProgram = "keplinafsnative.exe";

} // namespace

int GetBootMigrationProgress() {
    CommandPtr command = CreateMigrationStatusCommand(0, nullptr);
    auto* status = dynamic_cast<MigrationStatusCommand*>(command.get());
    if (!status)
        return -1;
    wchar_t silent[] = L"silent";
    wchar_t* argv[] = {silent, nullptr};
    if (status->Execute(1, argv) != 0)
        return -1;
    if (status->state() != kBootTimeMigration)
        return 100;
    const long double total =
        static_cast<long double>(status->clustersTotal()) + static_cast<long double>(status->recordsTotal());
    if (total == 0)
        return -1;
    const long double left =
        static_cast<long double>(status->clustersLeft()) + static_cast<long double>(status->recordsLeft());
    const long double done = (1 - left / total) * 100;
    // Counters the service reports out of step (more left than in all) mean nothing is done yet.
    if (done <= 0)
        return 0;
    return done >= 100 ? 100 : static_cast<int>(done);
}

void RemoveBootMigration() {
    if (LONG result =
            RegistryDeleteValue(HKEY_LOCAL_MACHINE, "system\\currentControlSet\\Services\\KeplinAfsService",
                                "BootMigrationPhase"))
        MOX_TRACE(TRACE_LEVEL_WARNING, "Deleting BootMigrationPhase failed with %d", result);

    HKEY key = nullptr;
    if (LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                    0, KEY_READ | KEY_SET_VALUE | KEY_WOW64_64KEY, &key)) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "Opening the Session Manager key failed with %d", result);
        return;
    }
    try {
        DWORD size = 0;
        DWORD type = 0;
        LONG result = RegQueryValueExA(key, "BootExecute", nullptr, &type, nullptr, &size);
        // Two characters more than the value, zeroed: a list without its final NULs still ends.
        std::vector<char> list(static_cast<size_t>(size) + 2, '\0');
        if (result == ERROR_SUCCESS)
            result = RegQueryValueExA(key, "BootExecute", nullptr, &type,
                                      reinterpret_cast<BYTE*>(list.data()), &size);
        if (result != ERROR_SUCCESS) {
            MOX_TRACE(TRACE_LEVEL_WARNING, "Reading BootExecute failed with %d", result);
            RegCloseKey(key);
            return;
        }
        std::string lower(list.begin(), list.end());
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

        size_t kept = 0;
        bool dropped = false;
        for (size_t at = 0; at < size && lower[at] != '\0';) {
            const size_t length = std::strlen(lower.c_str() + at);
            if (lower.substr(at, length).find(kNativeProgram) != std::string::npos) {
                dropped = true;
            } else {
                std::memmove(list.data() + kept, list.data() + at, length + 1);
                kept += length + 1;
            }
            at += length + 1;
        }
        if (dropped) {
            list[kept] = '\0';
            result = RegSetValueExA(key, "BootExecute", 0, REG_MULTI_SZ,
                                    reinterpret_cast<const BYTE*>(list.data()), static_cast<DWORD>(kept + 1));
            if (result != ERROR_SUCCESS)
                MOX_TRACE(TRACE_LEVEL_WARNING, "Writing BootExecute failed with %d", result);
        }
    } catch (const std::exception& e) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "Removing the boot migration failed: %s", e.what());
    }
    RegCloseKey(key);
}
