#pragma once
// The result of one command: the return code that becomes the exit code, its text, detail lines and
// the library's error code when the result came from the library.
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "middleware/core/UviError.h"

namespace MOX {

class Error {
public:
    static constexpr int32_t NO_CODE = -1;

    Error() = default;
    explicit Error(int32_t type);
    explicit Error(const _UVI_Error& result);
    Error(const Error&) = default;
    Error& operator=(const Error&) = default;
    virtual ~Error() = default;

    // Takes over one library result; must run on the thread that made the call, since the failure's
    // texts live in that thread's error store and are released here.
    void assignFromUviError(const _UVI_Error& result);

    void set(int32_t type, std::string detail);
    // A new return code with its text; the detail lines and the code stay as they are.
    void setType(int32_t type);
    void addDetail(std::string detail);
    // Takes the other's return code and appends its detail lines, newest first.
    void merge(Error other);
    void setDefaultMessage();

    bool isError() const { return type_ != 0; }
    int32_t getType() const { return type_; }
    int32_t getCode() const { return code_; }
    const std::string& getMessage() const { return message_; }
    const std::vector<std::string>& getDetails() const { return details_; }

    void printMessage();
    void printDetails() const;

private:
    int32_t type_ = 0;
    std::string message_;
    std::vector<std::string> details_;
    int32_t code_ = NO_CODE;
};

// The text of a return code; null for 0, which has none, and "Unknown Error" for codes not listed.
const char* ReturnCodeText(int32_t type);
// The return code a library status stands for.
int32_t ReturnCodeFromUviStatus(int32_t status);

// Usage errors of factories and tasks travel as this exception; the runner takes the record it holds.
class MoxErrorException : public std::exception {
public:
    explicit MoxErrorException(Error error) : error_(std::move(error)) {}
    const char* what() const noexcept override;
    const Error& getError() const { return error_; }

private:
    Error error_;
};

} // namespace MOX
