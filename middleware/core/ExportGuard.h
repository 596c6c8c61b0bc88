#pragma once
// The frame of an exported C function whose result is a plain value: whatever the body raises (no
// memory for a text, a failure of the platform) ends as `failure` at the C boundary, never as an
// exception in the caller.
template <class Result, class Body> Result ExportedOr(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}
