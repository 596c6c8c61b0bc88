// The zero-power optical drive's power state: the adapter search, the status request and the
// decoding of its answer into texts.
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "lanthe/Lanthe.h"
#include "lanthe/ScsiAdapterPath.h"
#include "middleware/core/ExportGuard.h"
#include "middleware/ioctl/ZpoddInfo.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinDeviceIo.h"

namespace {

constexpr int kAdapters = 16;
constexpr uint8_t kPorts = 6;
constexpr ULONG kTimeoutSeconds = 10000;
constexpr const char* kUnset = "XXXX";
constexpr int32_t kNoDrive = 2;

// What the library keeps for the process: the adapter that answered, its path, the port, and the
// one request buffer whose answer the decoding reads.
struct ProcessState {
    HANDLE adapter = INVALID_HANDLE_VALUE;
    std::wstring adapterPath;
    int32_t port = 0;
    _ZPODD_INFO_WITH_HEADER request{};
    const _ZPODD_INFO* answer = &request.Info;
};
ProcessState g_state;

// How each status code reads. Codes without an entry read as the unknown one.
struct StatusTexts {
    ULONG code;
    const char* powerState;
    const char* platformSupport;
    const char* driveSupport;
    bool mediaAndTray;
    const char* message;
};
constexpr const char* kSupported = "Supported";
constexpr const char* kNotSupported = "NOT supported";
constexpr StatusTexts kStatusTable[] = {
    {kZpoddAwake, "Awake", kSupported, kSupported, true, nullptr},
    {kZpoddDozing, "Dozing", kSupported, kSupported, true, nullptr},
    {kZpoddAsleep, "Asleep", kSupported, kSupported, true, nullptr},
    {kZpoddAwakening, "Awakening", kSupported, kSupported, false, nullptr},
    {kZpoddDriveNotSupported, nullptr, kSupported, kNotSupported, false,
     "This ODD does not support Zero Power features."},
    {kZpoddAcpiNotSupported, nullptr, kNotSupported, kSupported, false,
     "This ACPI does not support Zero Power."},
    {kZpoddLoadingMechanismNotSupported, nullptr, kSupported, kNotSupported, false,
     "The Loading Mechanism is not supported."},
    {kZpoddThreadFailed, nullptr, kSupported, kSupported, false, "Thread Fail"},
    {kZpoddHotPlugNotSupported, nullptr, kSupported, kSupported, false,
     "The Hot Plug configuration is not supported."},
};
constexpr StatusTexts kUnknownStatus{0,          nullptr, kSupported,
                                     kSupported, false,   "An unknown error has occured."};

const StatusTexts& TextsOf(ULONG code) {
    for (const StatusTexts& texts : kStatusTable)
        if (texts.code == code)
            return texts;
    return kUnknownStatus;
}

// Clears the whole field, then copies what fits with its terminator.
template <size_t N> void SetField(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    std::strncpy(field, text, N - 1);
}

void CloseAdapter() {
    if (g_state.adapter != INVALID_HANDLE_VALUE)
        CloseHandle(g_state.adapter);
    g_state.adapter = INVALID_HANDLE_VALUE;
}

void Decode(OddPowerStateRecord& record) {
    const _ZPODD_INFO& answer = *g_state.answer;
    const StatusTexts& texts = TextsOf(answer.PowerState);
    if (texts.powerState)
        SetField(record.powerState, texts.powerState);
    SetField(record.platformSupport, texts.platformSupport);
    SetField(record.driveSupport, texts.driveSupport);
    if (texts.mediaAndTray) {
        SetField(record.media, answer.MediaPresent ? "Media In" : "No Media");
        SetField(record.tray, answer.TrayOpen ? "Open" : "Closed");
    }
    if (texts.message)
        SetField(record.message, texts.message);
}

// Sends the status request for the drive at `port` of the held adapter; true when the driver
// acknowledged it, with the record decoded.
bool Read(OddPowerStateRecord* record, uint8_t port) {
    if (!record || g_state.adapter == INVALID_HANDLE_VALUE)
        return false;
    _ZPODD_INFO_WITH_HEADER& request = g_state.request;
    std::memset(&request, 0, sizeof request);
    request.Header.HeaderLength = sizeof(SRB_IO_CONTROL);
    std::memcpy(request.Header.Signature, kAtaSignature, sizeof request.Header.Signature);
    request.Header.Timeout = kTimeoutSeconds;
    request.Header.ControlCode = IOCTL_ZERO_POWER_ODD;
    request.Header.ReturnCode = static_cast<ULONG>(port) << 8;
    request.Header.Length = sizeof(_ZPODD_INFO);
    request.Info.Marker = kZpoddMarker;
    DWORD returned = 0;
    if (!DeviceIoControl(g_state.adapter, IOCTL_SCSI_MINIPORT, &request, sizeof request, &request,
                         sizeof request, &returned, nullptr) ||
        request.Info.MarkerEcho != kZpoddMarker)
        return false;
    for (char* field : {record->powerState, record->platformSupport, record->driveSupport, record->tray,
                        record->media, record->message})
        std::strcpy(field, kUnset);
    Decode(*record);
    return true;
}

// Adapters 0 to 15, ports 0 to 5 of each: the first drive that answers with a status other than 0
// keeps its adapter held.
int32_t Search(int32_t& port) {
    for (int adapter = 0; adapter < kAdapters; ++adapter) {
        g_state.adapterPath = ScsiAdapterPath(adapter);
        g_state.adapter = CreateFileW(g_state.adapterPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        for (uint8_t candidate = 0; g_state.adapter != INVALID_HANDLE_VALUE && candidate < kPorts;
             ++candidate) {
            OddPowerStateRecord probe;
            if (Read(&probe, candidate) && g_state.answer->PowerState != 0) {
                g_state.port = candidate;
                port = candidate;
                return 0;
            }
        }
        CloseAdapter();
    }
    return kNoDrive;
}

} // namespace

extern "C" int32_t ConnectToZPODDDriver(int32_t* port) {
    if (!port)
        return -1;
    // A second search replaces the adapter: the one held so far is closed, not left open.
    CloseAdapter();
    const int32_t result = ExportedOr<int32_t>(kNoDrive, [&] { return Search(*port); });
    if (result != 0)
        CloseAdapter();
    return result;
}

extern "C" bool ReadOddPowerState(OddPowerStateRecord* record, uint8_t port) {
    return ExportedOr(false, [&] { return Read(record, port); });
}

extern "C" int32_t GetZPODDStatusValue(OddPowerStateRecord* record) {
    if (!record)
        return -1;
    Decode(*record);
    return 0;
}
