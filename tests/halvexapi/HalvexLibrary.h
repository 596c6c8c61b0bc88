#pragma once
// HalvexApi loaded for one test and unloaded at its end (dlopen, dlclose), so that each test sees a
// fresh library and its unload, and the unload happens while the test's machine is still there.
#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "halvexapi/HalvexApi.h"

namespace halvextest {

class HalvexLibrary {
public:
    HalvexLibrary() : handle_(dlopen(HALVEXAPI_PATH, RTLD_NOW | RTLD_LOCAL)) {
        if (!handle_)
            throw std::runtime_error(std::string("cannot load HalvexApi: ") + dlerror());
        GetPinningStatus = Find<decltype(&HalvexGetPinningStatus)>("HalvexGetPinningStatus");
        PinFiles = Find<decltype(&HalvexPinFiles)>("HalvexPinFiles");
        UnpinFiles = Find<decltype(&HalvexUnpinFiles)>("HalvexUnpinFiles");
        GetPinStatusFiles = Find<decltype(&HalvexGetPinStatusFiles)>("HalvexGetPinStatusFiles");
        TriggerMigration = Find<decltype(&HalvexTriggerMigration)>("HalvexTriggerMigration");
        GetFileCacheStatus = Find<decltype(&HalvexGetFileCacheStatus)>("HalvexGetFileCacheStatus");
        GetPinningApiVersion = Find<decltype(&HalvexGetPinningApiVersion)>("HalvexGetPinningApiVersion");
    }
    ~HalvexLibrary() { Unload(); }
    HalvexLibrary(const HalvexLibrary&) = delete;
    HalvexLibrary& operator=(const HalvexLibrary&) = delete;

    // Unloads the library now (its process state goes, the service context is closed).
    void Unload() {
        if (handle_)
            dlclose(handle_);
        handle_ = nullptr;
    }

    decltype(&HalvexGetPinningStatus) GetPinningStatus;
    decltype(&HalvexPinFiles) PinFiles;
    decltype(&HalvexUnpinFiles) UnpinFiles;
    decltype(&HalvexGetPinStatusFiles) GetPinStatusFiles;
    decltype(&HalvexTriggerMigration) TriggerMigration;
    decltype(&HalvexGetFileCacheStatus) GetFileCacheStatus;
    decltype(&HalvexGetPinningApiVersion) GetPinningApiVersion;

private:
    template <class F> F Find(const char* name) {
        void* symbol = dlsym(handle_, name);
        if (!symbol)
            throw std::runtime_error(std::string("HalvexApi does not export ") + name);
        return reinterpret_cast<F>(symbol);
    }

    void* handle_;
};

} // namespace halvextest
