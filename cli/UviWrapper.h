#pragma once
// Keeps the storage management library started for the whole command.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace MOX {

class UviInitializationException : public std::exception {
public:
    explicit UviInitializationException(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// What a start of the library answering `status` fails with; nothing for a started library (0) or
// one that was started already (11).
std::optional<std::string> UviInitializationFailure(int32_t status);

class UviWrapper {
public:
    // Starts the library; throws UviInitializationException when it cannot be started.
    UviWrapper();
    UviWrapper(const UviWrapper&) = delete;
    UviWrapper& operator=(const UviWrapper&) = delete;
    // Ends the library; its answer is of no use at this point.
    virtual ~UviWrapper();
};

} // namespace MOX
