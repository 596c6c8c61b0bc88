#pragma once
// Owns one kernel handle and closes it when done with it.
#include "platform/win/WinBase.h"

class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle();
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept;
    ScopedHandle& operator=(ScopedHandle&& other) noexcept;

    // Gives the handle up without closing it.
    HANDLE release();
    // Closes the held handle and holds `handle`; resetting to the held handle keeps it open.
    void reset(HANDLE handle = nullptr);
    HANDLE get() const { return handle_; }

private:
    // Only null is empty: an invalid handle value is closed like any other.
    HANDLE handle_ = nullptr;
};
