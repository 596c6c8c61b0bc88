// The space of a volume, from the disk model: its size is its partition's length, its free bytes
// what its "volumes" entry says. Kind "GetDiskFreeSpaceEx" (selector `path`), outcome
// {"win32_error": n}.
#include <cctype>
#include <optional>
#include <string>

#include "platform/win/WinBase.h"
#include "platform/win/WinError.h"
#include "platform/win/WinFiles.h"
#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"
#include "sim/devio/Lookup.h"
#include "sim/storage/DiskModel.h"
#include "sim/win32/SimCall.h"

namespace {

using nlohmann::json;
namespace storage = sim::storage;

const sim::schema::FaultKind kFreeSpaceFaults("GetDiskFreeSpaceEx", {"path"},
                                              sim::schema::Object({{"win32_error", sim::schema::Uint32()}}));

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The partition of the volume a root path names.
std::optional<storage::Partition> VolumeOfPath(const json& state, const std::string& path) {
    std::optional<storage::VolumeRef> ref;
    for (const char* prefix : {"\\\\?\\Volume", "\\\\.\\Volume"}) {
        if (!StartsWithNoCase(path, prefix))
            continue;
        const std::string rest = path.substr(std::string(prefix).size());
        const size_t close = rest.find('}');
        if (rest.empty() || rest[0] != '{' || close == std::string::npos || rest.substr(close + 1) != "\\")
            return std::nullopt;
        if (auto id = storage::ParseGuid(rest.substr(0, close + 1)))
            ref = storage::FindVolume(state, *id);
    }
    if (path.size() == 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path.substr(1) == ":\\" &&
        state.contains("volumes") && state.at("volumes").is_array()) {
        for (const auto& v : state.at("volumes"))
            if (StartsWithNoCase(sim::DescText(v, "letter"), path.substr(0, 1)) &&
                sim::DescText(v, "letter").size() == 1)
                ref = storage::VolumeRef{v.value("disk", -1),
                                         static_cast<size_t>(sim::DescNumber(v, "partition", 0) - 1)};
    }
    if (!ref)
        return std::nullopt;
    const json* entry = storage::FindDiskEntry(state, ref->deviceNumber);
    if (!entry)
        return std::nullopt;
    const storage::Disk disk = storage::ReadDisk(state, *entry);
    if (ref->index >= disk.partitions.size() || !disk.partitions[ref->index].hasVolume)
        return std::nullopt;
    return disk.partitions[ref->index];
}

} // namespace

BOOL GetDiskFreeSpaceExA(LPCSTR directoryName, ULARGE_INTEGER* freeBytesAvailableToCaller,
                         ULARGE_INTEGER* totalNumberOfBytes, ULARGE_INTEGER* totalNumberOfFreeBytes) {
    return platform::Guarded(
        [&]() -> BOOL {
            const std::string path = directoryName ? directoryName : "";
            if (auto outcome = platform::SimCall("GetDiskFreeSpaceEx", {{"path", path}});
                outcome && outcome->contains("win32_error")) {
                SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_INVALID_FUNCTION));
                return FALSE;
            }
            std::optional<storage::Partition> volume;
            sim::Current().Read([&](const json& state) { volume = VolumeOfPath(state, path); });
            if (!volume) {
                SetLastError(ERROR_PATH_NOT_FOUND);
                return FALSE;
            }
            if (freeBytesAvailableToCaller)
                freeBytesAvailableToCaller->QuadPart = volume->freeBytes;
            if (totalNumberOfBytes)
                totalNumberOfBytes->QuadPart = volume->length;
            if (totalNumberOfFreeBytes)
                totalNumberOfFreeBytes->QuadPart = volume->freeBytes;
            return TRUE;
        },
        platform::LastErrorAnd<BOOL>(FALSE));
}
