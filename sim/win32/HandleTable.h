#pragma once
// The process's kernel handle table: every service of the platform layer that gives out handles
// registers its objects here, so that CloseHandle and handle validation work across services.
#include <memory>

#include "platform/win/WinTypes.h"

namespace platform {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Runs when the last handle to this object in this process is closed through CloseHandle.
    virtual void OnClose() {}
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Removes the handle and runs the object's OnClose; false for a handle the table does not hold.
bool RemoveHandle(HANDLE handle);

template <class T> std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

} // namespace platform
