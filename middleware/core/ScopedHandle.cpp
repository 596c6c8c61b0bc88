#include "middleware/core/ScopedHandle.h"

ScopedHandle::~ScopedHandle() {
    if (handle_)
        CloseHandle(handle_);
}

ScopedHandle::ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}

ScopedHandle& ScopedHandle::operator=(ScopedHandle&& other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

HANDLE ScopedHandle::release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
}

void ScopedHandle::reset(HANDLE handle) {
    if (handle == handle_)
        return;
    if (handle_)
        CloseHandle(handle_);
    handle_ = handle;
}
