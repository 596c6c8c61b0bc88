#include "platform/win/WinProcess.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "sim/Os.h"
#include "sim/Schema.h"
#include "sim/WideText.h"
#include "sim/win32/SimCall.h"

HANDLE GetCurrentProcess() {
    return INVALID_HANDLE_VALUE;
}

DWORD K32GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR baseName, DWORD size) {
    if (process != GetCurrentProcess() || module != nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!baseName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (auto outcome = platform::SimCall("K32GetModuleBaseName", nlohmann::json::object())) {
        SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE));
        return 0;
    }
    const std::wstring name = sim::FromUtf8(sim::os::ProgramBaseName());
    const size_t copied = std::min<size_t>(name.size(), size - 1);
    std::wmemcpy(baseName, name.data(), copied);
    baseName[copied] = L'\0';
    return static_cast<DWORD>(copied);
}

namespace {

using namespace sim::schema;

const FaultKind kModuleNameFaults("K32GetModuleBaseName", {}, Object({{"win32_error", Uint32()}}));

} // namespace
