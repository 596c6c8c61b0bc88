#pragma once
// Holds a controller's named mutex for a scope and names the device handle to send through. A
// plain device handle passes through without a lock. Taking the mutex waits without time limit; a
// thread that already owns it takes it again, and every take is released once.
#include "platform/win/WinTypes.h"

class ControllerLocatorLock {
public:
    // Throws std::runtime_error("Failed to take ownership of mutex") when the controller's mutex
    // cannot be taken (a wait that fails, or a record without a mutex).
    explicit ControllerLocatorLock(HANDLE target);
    ~ControllerLocatorLock();
    ControllerLocatorLock(const ControllerLocatorLock&) = delete;
    ControllerLocatorLock& operator=(const ControllerLocatorLock&) = delete;

    HANDLE GetDeviceHandle() const { return m_DeviceHandle; }

    // What a request to the placeholder record is sent to: no device at all.
    static HANDLE PlaceholderHandle() { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xBADFACE)); }

private:
    HANDLE m_Mutex = nullptr;
    HANDLE m_DeviceHandle = nullptr;
};
