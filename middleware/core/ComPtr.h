#pragma once
// Holds one reference to a COM interface and releases it at the end of its scope, so every interface
// an operation obtains (of the disk service, the Task Scheduler) is released on every path.
#include "platform/win/WinCom.h"

template <class Interface> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }

    Interface* get() const { return p_; }
    Interface* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For a call that hands out a new reference; drops the one held before.
    Interface** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }

    // Asks `from` for this interface.
    template <class Other> HRESULT queryFrom(Other* from, const IID& iid) {
        if (!from)
            return E_POINTER;
        return from->QueryInterface(iid, putVoid());
    }

private:
    Interface* p_ = nullptr;
};
