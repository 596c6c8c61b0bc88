#include "middleware/core/ConsolidatedError.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "middleware/core/ErrorCodes.h"
#include "middleware/core/TextConversions.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinFormat.h"

namespace {

constexpr size_t kMaxPiece = CConsolidatedError::MAX_ERROR_STRING_SIZE;

char* Duplicate(const char* text) {
    if (!text)
        return nullptr;
    const size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(std::malloc(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

// Cuts a piece to the first kMaxPiece bytes without splitting a UTF-8 sequence, so that the wide
// getters can still convert the text.
size_t CutLength(const char* piece, size_t length) {
    if (length <= kMaxPiece)
        return length;
    size_t cut = kMaxPiece;
    while (cut > 0 && (static_cast<unsigned char>(piece[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

// Appends one piece, joined to an existing text by one newline. When memory cannot be had the text
// stays as it was.
void AppendPiece(char*& text, const char* piece, size_t pieceLength) {
    const size_t length = CutLength(piece, pieceLength);
    if (!text) {
        auto* block = static_cast<char*>(std::malloc(length + 1));
        if (!block)
            return;
        std::memcpy(block, piece, length);
        block[length] = '\0';
        text = block;
        return;
    }
    const size_t oldLength = std::strlen(text);
    auto* block = static_cast<char*>(std::malloc(oldLength + 1 + length + 1));
    if (!block)
        return;
    std::memcpy(block, text, oldLength);
    block[oldLength] = '\n';
    std::memcpy(block + oldLength + 1, piece, length);
    block[oldLength + 1 + length] = '\0';
    std::free(text);
    text = block;
}

void AppendText(char*& text, const char* piece) {
    if (piece)
        AppendPiece(text, piece, std::strlen(piece));
}

void AppendFormatted(char*& text, const char* format, va_list args) {
    if (!format)
        return;
    // A formatting failure keeps what was produced up to it, hence the zeroed buffer. The bytes
    // past the cut are formatted too, so that the cut can step back to a character boundary.
    char buffer[kMaxPiece + 4 + 1] = {};
    std::vsnprintf(buffer, sizeof buffer, format, args);
    AppendPiece(text, buffer, strnlen(buffer, kMaxPiece + 4));
}

void AppendWideFormatted(char*& text, const wchar_t* format, va_list args) {
    if (!format)
        return;
    // Windows rules: %s and %c of a wide format take wide arguments. A cut or a formatting failure
    // keeps what was produced.
    wchar_t buffer[kMaxPiece + 1] = {};
    static_cast<void>(_vsnwprintf_s(buffer, kMaxPiece + 1, _TRUNCATE, format, args));
    try {
        const std::string narrow = ToNarrowString(buffer);
        AppendPiece(text, narrow.c_str(), narrow.size());
    } catch (...) {
        // No memory for the conversion: the piece is dropped.
    }
}

// Null stays null, so the narrow form skips the text; a text without a narrow form becomes empty.
struct NarrowArg {
    explicit NarrowArg(const wchar_t* wide) : present(wide != nullptr) {
        if (!wide)
            return;
        try {
            text = ToNarrowString(wide);
        } catch (...) {
            present = false;
        }
    }
    const char* get() const { return present ? text.c_str() : nullptr; }
    bool present;
    std::string text;
};

unsigned int CopyNarrow(const char* text, char* buffer, int length) {
    if (!text)
        return 0;
    const size_t size = std::strlen(text) + 1;
    if (!buffer)
        return static_cast<unsigned int>(size);
    if (length < 0 || static_cast<size_t>(length) < size)
        return 0;
    std::memset(buffer, 0, static_cast<size_t>(length));
    std::memcpy(buffer, text, size);
    return static_cast<unsigned int>(size);
}

// `length` counts bytes; the buffer holds length / sizeof(wchar_t) characters, terminator included.
unsigned int CopyWide(const char* text, wchar_t* buffer, int length) {
    if (!text)
        return 0;
    const size_t size = std::strlen(text) + 1;
    if (!buffer)
        return static_cast<unsigned int>(size);
    const size_t capacity = length > 0 ? static_cast<size_t>(length) / sizeof(wchar_t) : 0;
    if (static_cast<size_t>(length < 0 ? 0 : length) < size) {
        if (capacity > 0)
            buffer[0] = L'\0';
        return 0;
    }
    if (capacity == 0)
        return 0;
    std::wstring wide;
    try {
        wide = ToWideString(text);
    } catch (...) {
        wide.clear();
    }
    const size_t count = std::min(wide.size(), capacity - 1);
    std::wmemcpy(buffer, wide.data(), count);
    buffer[count] = L'\0';
    return static_cast<unsigned int>(size);
}

KEDO2_ERRORS CodeForStatus(_UVI_Status status) {
    if (status == UVI_STATUS_SUCCESS)
        return CConsolidatedError::SUCCESS;
    if (status >= UVI_STATUS_INSUFFICIENT_RESOURCES && status <= UVI_STATUS_INSUFFICIENT_PRIVILEGES)
        return static_cast<KEDO2_ERRORS>(CConsolidatedError::UVI_INSUFFICIENTRESOURCES - 1 + status);
    if (status == UVI_STATUS_DRIVER_BUSY)
        return CConsolidatedError::DRIVER_BUSY;
    if (status == UVI_STATUS_INVALID_REQUEST)
        return CConsolidatedError::UVI_INVALID_REQUEST;
    return CConsolidatedError::GENERAL_UNKNOWN_ERROR;
}

KEDO2_ERROR_TYPE TypeForCode(KEDO2_ERRORS code) {
    return code == CConsolidatedError::SUCCESS ? KEDO2_ERROR_TYPE_NONE : KEDO2_ERROR_TYPE_KEDO2;
}

} // namespace

CConsolidatedError::CConsolidatedError() {
    SetErrorCodeString();
}

CConsolidatedError::CConsolidatedError(KEDO2_ERRORS code) : m_errorType(TypeForCode(code)), m_code(code) {
    SetErrorCodeString();
}

CConsolidatedError::CConsolidatedError(const CConsolidatedError& other)
    : CConsolidatedErrorGenerated(other), m_errorType(other.m_errorType), m_code(other.m_code),
      m_win32Error(other.m_win32Error), m_driverError(other.m_driverError),
      m_debugInformation(Duplicate(other.m_debugInformation)),
      m_errorMessage(Duplicate(other.m_errorMessage)) {
    SetErrorCodeString();
}

CConsolidatedError& CConsolidatedError::operator=(const CConsolidatedError& other) {
    if (this == &other)
        return *this;
    m_errorType = other.m_errorType;
    m_code = other.m_code;
    m_win32Error = other.m_win32Error;
    m_driverError = other.m_driverError;
    FreeStringResources();
    m_debugInformation = Duplicate(other.m_debugInformation);
    m_errorMessage = Duplicate(other.m_errorMessage);
    m_errorCodeString = Duplicate(other.m_errorCodeString);
    return *this;
}

CConsolidatedError::~CConsolidatedError() {
    FreeStringResources();
}

void CConsolidatedError::FreeStringResources() {
    std::free(m_debugInformation);
    std::free(m_errorMessage);
    std::free(m_errorCodeString);
    m_debugInformation = nullptr;
    m_errorMessage = nullptr;
    m_errorCodeString = nullptr;
}

void CConsolidatedError::SetErrorCodeString() {
    std::free(m_errorCodeString);
    m_errorCodeString = static_cast<char*>(std::calloc(SMALL_STRING_SIZE, 1));
    if (!m_errorCodeString)
        return;
    const char* text = nullptr;
    std::string systemText;
    switch (m_errorType) {
    case KEDO2_ERROR_TYPE_NONE:
        text = "No Error";
        break;
    case KEDO2_ERROR_TYPE_WIN32: {
        // The lookup must not disturb the thread's last error, which callers may still read.
        const DWORD savedLastError = GetLastError();
        wchar_t* message = nullptr;
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                                FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                            nullptr, m_win32Error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                            reinterpret_cast<LPWSTR>(&message), 0, nullptr);
        if (length > 0 && message) {
            try {
                systemText =
                    ToNarrowString(std::wstring(message, std::min<size_t>(length, SMALL_STRING_SIZE - 1)));
            } catch (...) {
                systemText.clear();
            }
            text = systemText.c_str();
        }
        LocalFree(message);
        SetLastError(savedLastError);
        break;
    }
    case KEDO2_ERROR_TYPE_DRIVER:
        text = "Driver Error";
        break;
    case KEDO2_ERROR_TYPE_KEDO2:
        text = ErrorCodeText(m_code);
        break;
    default:
        text = "Unknown Error";
        break;
    }
    if (text)
        std::strncpy(m_errorCodeString, text, SMALL_STRING_SIZE - 1);
}

void CConsolidatedError::SetError(KEDO2_ERRORS code, const char* message) {
    m_code = code;
    m_errorType = TypeForCode(code);
    SetErrorCodeString();
    AppendText(m_errorMessage, message);
}

void CConsolidatedError::SetError(KEDO2_ERRORS code, const char* message, const char* debug) {
    SetError(code, message);
    AppendText(m_debugInformation, debug);
}

void CConsolidatedError::SetError(_UVI_Status status, const char* message, const char* debug) {
    m_errorType = status == UVI_STATUS_SUCCESS ? KEDO2_ERROR_TYPE_NONE : KEDO2_ERROR_TYPE_KEDO2;
    m_code = MapUviStatus(status);
    SetErrorCodeString();
    AppendText(m_errorMessage, message);
    AppendText(m_debugInformation, debug);
}

void CConsolidatedError::SetError(KEDO2_ERROR_TYPE type, unsigned long value, const char* debug) {
    m_errorType = type;
    AppendText(m_debugInformation, debug);
    switch (type) {
    case KEDO2_ERROR_TYPE_NONE:
        ClearError();
        break;
    case KEDO2_ERROR_TYPE_WIN32:
        m_code = WIN32_ERROR;
        m_win32Error = static_cast<uint32_t>(value);
        SetErrorCodeString();
        break;
    case KEDO2_ERROR_TYPE_DRIVER:
        m_driverError = static_cast<uint32_t>(value);
        break;
    case KEDO2_ERROR_TYPE_KEDO2:
        m_code = static_cast<KEDO2_ERRORS>(value);
        SetErrorCodeString();
        break;
    default:
        break;
    }
}

void CConsolidatedError::SetError(CConsolidatedError other) {
    m_errorType = other.m_errorType;
    m_code = other.m_code;
    m_win32Error = other.m_win32Error;
    m_driverError = other.m_driverError;
    AppendText(m_debugInformation, other.m_debugInformation);
    AppendText(m_errorMessage, other.m_errorMessage);
    SetErrorCodeString();
}

void CConsolidatedError::SetError(KEDO2_ERRORS code, const wchar_t* message) {
    const NarrowArg narrowMessage(message);
    SetError(code, narrowMessage.get());
}

void CConsolidatedError::SetError(KEDO2_ERRORS code, const wchar_t* message, const wchar_t* debug) {
    const NarrowArg narrowMessage(message);
    const NarrowArg narrowDebug(debug);
    SetError(code, narrowMessage.get(), narrowDebug.get());
}

void CConsolidatedError::SetError(_UVI_Status status, const wchar_t* message, const wchar_t* debug) {
    const NarrowArg narrowMessage(message);
    const NarrowArg narrowDebug(debug);
    SetError(status, narrowMessage.get(), narrowDebug.get());
}

void CConsolidatedError::SetError(KEDO2_ERROR_TYPE type, unsigned long value, const wchar_t* debug) {
    const NarrowArg narrowDebug(debug);
    SetError(type, value, narrowDebug.get());
}

void CConsolidatedError::ClearError() {
    m_errorType = KEDO2_ERROR_TYPE_NONE;
    m_code = SUCCESS;
    m_win32Error = 0;
    m_driverError = 0;
    FreeStringResources();
}

void CConsolidatedError::InternalAddDebugInformation(const char* format, va_list argumentList) {
    AppendFormatted(m_debugInformation, format, argumentList);
}

void CConsolidatedError::InternalAddErrorMessage(const char* format, va_list argumentList) {
    AppendFormatted(m_errorMessage, format, argumentList);
}

void CConsolidatedError::AddDebugInformation(const char* format, ...) {
    va_list args;
    va_start(args, format);
    InternalAddDebugInformation(format, args);
    va_end(args);
}

void CConsolidatedError::AddErrorMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    InternalAddErrorMessage(format, args);
    va_end(args);
}

void CConsolidatedError::AddDebugInformation(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendWideFormatted(m_debugInformation, format, args);
    va_end(args);
}

void CConsolidatedError::AddErrorMessage(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendWideFormatted(m_errorMessage, format, args);
    va_end(args);
}

const char* CConsolidatedError::GetErrorMessage() const {
    return m_errorMessage ? m_errorMessage : "";
}
const char* CConsolidatedError::GetDebugInformation() const {
    return m_debugInformation ? m_debugInformation : "";
}
const char* CConsolidatedError::GetErrorCodeString() const {
    return m_errorCodeString ? m_errorCodeString : "";
}

unsigned int CConsolidatedError::GetErrorMessage(char* buffer, int length) const {
    return CopyNarrow(m_errorMessage, buffer, length);
}
unsigned int CConsolidatedError::GetDebugInformation(char* buffer, int length) const {
    return CopyNarrow(m_debugInformation, buffer, length);
}
unsigned int CConsolidatedError::GetErrorCodeString(char* buffer, int length) const {
    return CopyNarrow(m_errorCodeString, buffer, length);
}
unsigned int CConsolidatedError::GetErrorMessage(wchar_t* buffer, int length) const {
    return CopyWide(m_errorMessage, buffer, length);
}
unsigned int CConsolidatedError::GetDebugInformation(wchar_t* buffer, int length) const {
    return CopyWide(m_debugInformation, buffer, length);
}
unsigned int CConsolidatedError::GetErrorCodeString(wchar_t* buffer, int length) const {
    return CopyWide(m_errorCodeString, buffer, length);
}

std::string CConsolidatedError::getErrorTypeSummary() const {
    switch (m_errorType) {
    case KEDO2_ERROR_TYPE_NONE:
        return "No error";
    case KEDO2_ERROR_TYPE_WIN32:
        return "Win32 error. Last error code: " + std::to_string(m_win32Error);
    case KEDO2_ERROR_TYPE_DRIVER:
        return "Driver error. Driver error code: " + std::to_string(m_driverError);
    case KEDO2_ERROR_TYPE_KEDO2:
        return "KEDO2 error. Code: " + ToHexString(m_code);
    default:
        return "Unknown error. Code: " + ToHexString(m_code);
    }
}

CConsolidatedError CConsolidatedError::GetWynEolError() {
    CConsolidatedError error;
    error.SetError(UVI_NOTSUPPORTED,
                   "WYN is not supported in this version of the MOX Driver. Note: Booting from "
                   "previously existing WYN volumes is allowed.");
    return error;
}

KEDO2_ERRORS CConsolidatedError::MapUviStatus(_UVI_Status status) {
    return CodeForStatus(status);
}

KEDO2_ERRORS MapUviStatusToCode(_UVI_Status status) {
    return CodeForStatus(status);
}
