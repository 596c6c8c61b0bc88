#include "cli/tasks/LoadCache.h"

#include "cli/tasks/AccelerateTask.h"
#include "cli/tasks/LoadMft.h"
#include "middleware/core/TextConversions.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinFiles.h"

namespace MOX {

const std::wstring WIDE_TRUE_TEXT = L"TRUE";
const std::wstring WIDE_FALSE_TEXT = L"FALSE";

namespace {

// Files are opened past the system's cache; FILE_ATTRIBUTE_READONLY rides along with the flag.
constexpr DWORD UNBUFFERED_READ_ONLY = FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_READONLY;

void ReadWholeFile(AccelerateTask& task, const std::wstring& prefix, const WIN32_FIND_DATAW& entry, bool loud,
                   uint8_t* buffer) {
    const std::wstring path = prefix + entry.cFileName;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              UNBUFFERED_READ_ONLY, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    if (loud)
        task.printer->printWrapped("Loading: " + ToNarrowString(path), 0, 0);
    const uint64_t size = (uint64_t{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow;
    uint64_t total = 0;
    // Every file gets one read, an empty one too; a read that brings nothing before the size the
    // search reported (the file shrank) ends the file.
    do {
        DWORD got = 0;
        if (!ReadFile(file, buffer, static_cast<DWORD>(LOAD_BUFFER_BYTES), &got, nullptr)) {
            if (loud)
                task.printer->printWrapped("ERROR: Could not read file: " + ToNarrowString(entry.cFileName),
                                           0, 0);
            break;
        }
        if (got == 0)
            break;
        total += got;
    } while (total < size);
    CloseHandle(file);
}

} // namespace

void LoadFilesRecursively(AccelerateTask& task, const std::wstring& quiet, const std::wstring& recurse,
                          const std::wstring& pattern, uint8_t* buffer) {
    const bool loud = quiet == WIDE_FALSE_TEXT;
    uint8_t* ownBuffer = nullptr;
    if (!buffer) {
        ownBuffer = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, LOAD_BUFFER_BYTES, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!ownBuffer) {
            task.printer->printWrapped("ERROR: Could not allocate memory", 0, 0);
            return;
        }
        buffer = ownBuffer;
    }
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        const size_t slash = pattern.rfind(L'\\');
        const std::wstring prefix =
            slash == std::wstring::npos ? std::wstring() : pattern.substr(0, slash + 1);
        do {
            const std::wstring name = entry.cFileName;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (name != L"." && name != L".." && recurse == WIDE_TRUE_TEXT)
                    LoadFilesRecursively(task, quiet, recurse, prefix + name + L"\\*", buffer);
            } else {
                ReadWholeFile(task, prefix, entry, loud, buffer);
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    if (ownBuffer)
        VirtualFree(ownBuffer, 0, MEM_RELEASE);
}

Error AccelerateTask::loadCache(const std::wstring& quiet, const std::wstring& recurse,
                                const std::wstring& pattern) {
    std::vector<Controller> controllers;
    Error result = session.GetControllers(controllers, "");
    if (result.isError())
        return result;
    if (controllers.size() != 1) {
        printer->printWrapped("No WYN volume detected", 0, 0);
        return Error(2);
    }
    const Controller& controller = controllers.front();
    _UVI_NvcInfo cache{};
    result = session.GetNvcInfo(cache, controller.getHandle());
    if (result.isError()) {
        result.setType(2);
        printer->printWrapped("No WYN volume or SSHD disk detected", 0, 0);
        return result;
    }
    bool loaded = false;
    if (cache.cacheVolumeHandle != 0) {
        LoadFilesRecursively(*this, quiet, recurse, pattern, nullptr);
        (void)loadmft().load();
        loaded = true;
    }
    std::vector<EndDevice> devices;
    result.merge(session.GetControllerEndDevices(devices, controller.getName()));
    if (!result.isError()) {
        for (const EndDevice& device : devices) {
            _UVI_EndDeviceInfo info{};
            result =
                FullConversion(CallUvi(UviGetEndDeviceInfo, session.getHandle(), device.getHandle(), &info));
            if (!result.isError() && info.hybridInfoSupported && info.hybridInfoEnabled) {
                LoadFilesRecursively(*this, quiet, recurse, pattern, nullptr);
                (void)loadmft().load();
                loaded = true;
                break;
            }
        }
    }
    if (!loaded) {
        result.setType(2);
        printer->printWrapped("No WYN volume or SSHD disk detected", 0, 0);
    }
    return result;
}

} // namespace MOX
