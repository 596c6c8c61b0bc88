#include "cli/Error.h"

#include <vector>

#include "cli/ConsoleOutput.h"
#include "cli/UviCalls.h"

namespace MOX {

namespace {

struct ReturnCodeRow {
    int32_t type;
    const char* text;
};

constexpr ReturnCodeRow kReturnCodes[] = {
    {1, "REQUEST_FAILED: Request is formatted correctly but failed to execute."},
    {2, "INVALID_REQUEST: Unrecognized command, request was formatted incorrectly."},
    {3, "INVALID_DEVICE: Request not formatted correctly, device does not exist."},
    {4, "REQUEST_UNSUPPORTED: Request is not supported with the current configuration."},
    {5, "DEVICE_STATE_INVALID: Request is not supported with the current device state."},
    {20, "INVALID_STRIPE_SIZE: Stripe size is not supported."},
    {21, "INVALID_NAME: Volume name is too long, has invalid characters, or already exists. Volume name "
         "cannot exceed 16 English characters."},
    {22, "INVALID_SIZE: Size request is invalid."},
    {23, "INVALID_NUMBER_DISKS: Number of disks requested is invalid."},
    {24, "INVALID_RAID_LEVEL: RAID level requested is invalid."},
    {30, "Cache policy specifed is not supported."},
    {31, "Cache size is not valid."},
    {32, "The password was incorrect."},
    {33, "The maximum number of unlock attempts has been exceeded for this disk"},
    {40, "System is not intialized - try again later."},
    {41, "There are insufficient resources - try again later."},
    {42, "Invalid Parameters."},
    {43, "Session failed for unknown reasons."},
    {44, "User has insufficient privileges to perform operation."},
    {51, "More than 1 valid disk pair found.\nTo specify disks please use: --HalvexMemory --enable "
         "--fast-drive <diskId> --drive-to-accel <diskId>"},
    {52, "Halvex memory feature is not supported on this machine."},
    {53, "Timeout on waiting for events"},
};

constexpr const char* kUnknownError = "Unknown Error";

struct StatusRow {
    int32_t returnCode;
    std::vector<int32_t> statuses;
};

// Statuses 26 to 74 and 82 are the cache-memory pairing codes; those a user can act on get the
// device-state, size or parameter codes, the rest stay plain failures.
const StatusRow kStatusRows[] = {
    {0, {0}},
    {2, {24}},
    {4, {21}},
    {5, {18, 30, 38, 39, 40, 41, 42, 49, 53, 54, 55, 58, 59, 62, 67, 68, 69, 70, 71, 72, 82}},
    {20, {4}},
    {21, {5}},
    {22, {6, 44, 48}},
    {24, {7}},
    {32, {20}},
    {33, {19}},
    {40, {12}},
    {41, {1}},
    {42, {2, 52}},
    {44, {22}},
    {51, {50}},
    {52, {51}},
    {53, {9}},
};

// One text getter of the library: a size query first, then the text when there is one.
template <class Getter>
void AppendLibraryText(Getter getter, uint32_t errorId, std::vector<std::string>& out) {
    const unsigned size = CallUvi(getter, errorId, nullptr, 0);
    if (size == 0)
        return;
    std::vector<char> buffer(size, '\0');
    if (CallUvi(getter, errorId, buffer.data(), size) == 0)
        return;
    buffer.back() = '\0';
    out.emplace_back(buffer.data());
}

} // namespace

const char* ReturnCodeText(int32_t type) {
    if (type == 0)
        return nullptr;
    for (const auto& row : kReturnCodes)
        if (row.type == type)
            return row.text;
    return kUnknownError;
}

int32_t ReturnCodeFromUviStatus(int32_t status) {
    for (const auto& row : kStatusRows)
        for (int32_t s : row.statuses)
            if (s == status)
                return row.returnCode;
    return 1;
}

Error::Error(int32_t type) : type_(type) {
    setDefaultMessage();
}

Error::Error(const _UVI_Error& result) {
    assignFromUviError(result);
}

void Error::assignFromUviError(const _UVI_Error& result) {
    type_ = ReturnCodeFromUviStatus(static_cast<int32_t>(result.status));
    setDefaultMessage();
    code_ = static_cast<int32_t>(result.code);
    AppendLibraryText(UviGetErrorMessage, result.errorId, details_);
    AppendLibraryText(UviGetErrorDebugMessage, result.errorId, details_);
    CleanupUviError(result.errorId);
}

void Error::set(int32_t type, std::string detail) {
    type_ = type;
    details_.push_back(std::move(detail));
    setDefaultMessage();
}

void Error::setType(int32_t type) {
    type_ = type;
    setDefaultMessage();
}

void Error::addDetail(std::string detail) {
    details_.push_back(std::move(detail));
}

void Error::merge(Error other) {
    type_ = other.type_;
    for (auto it = other.details_.rbegin(); it != other.details_.rend(); ++it)
        details_.push_back(std::move(*it));
}

void Error::setDefaultMessage() {
    if (const char* text = ReturnCodeText(type_))
        message_ = text;
}

void Error::printMessage() {
    setDefaultMessage();
    PrintLine(message_);
}

void Error::printDetails() const {
    for (const auto& line : details_)
        PrintLine(line);
}

const char* MoxErrorException::what() const noexcept {
    return "MOX CLI specific exception. See error structure for more information.";
}

} // namespace MOX
