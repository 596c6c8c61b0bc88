#include "middleware/ioctl/RaidConfigText.h"

#include <cctype>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

const char* At(const void* record, size_t offset) {
    return static_cast<const char*>(record) + offset;
}

} // namespace

uint32_t CopyIxoText16(const void* field16, char* buffer, uint32_t length) {
    if (!buffer)
        return kIxoTextLength + 1;
    const auto* text = static_cast<const char*>(field16);
    const uint32_t size = static_cast<uint32_t>(strnlen(text, kIxoTextLength));
    if (length < size + 1)
        return 0;
    std::memcpy(buffer, text, size);
    buffer[size] = '\0';
    return size + 1;
}

uint32_t CopyIxoSerialNumber(const void* record, char* buffer, uint32_t length) {
    return CopyIxoText16(At(record, 4), buffer, length);
}

uint32_t CopyRaidDiskText72(const void* record, char* buffer, uint32_t length) {
    return CopyIxoText16(At(record, 72), buffer, length);
}

uint32_t CopyRaidDiskText88(const void* record, char* buffer, uint32_t length) {
    return CopyIxoText16(At(record, 88), buffer, length);
}

CConsolidatedError ValidateSerialNumber(const char* text, uint32_t length) {
    CConsolidatedError result;
    if (!text) {
        result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, static_cast<const char*>(nullptr));
        return result;
    }
    if (length == 0) {
        result.SetError(CConsolidatedError::IOCTL_ZERO_LEN_SERIALNO, static_cast<const char*>(nullptr));
        return result;
    }
    if (length > kIxoTextLength) {
        result.SetError(CConsolidatedError::IOCTL_SERIALNO_TOO_LONG, static_cast<const char*>(nullptr));
        return result;
    }
    if (text[0] == '\0') {
        result.SetError(CConsolidatedError::IOCTL_ZERO_LEN_SERIALNO, static_cast<const char*>(nullptr));
        return result;
    }
    if (std::isspace(static_cast<unsigned char>(text[0]))) {
        result.SetError(CConsolidatedError::IOCTL_SERIALNO_WHITESPACE, static_cast<const char*>(nullptr));
        return result;
    }
    // The first character is only tested for zero and white space; the others one multibyte
    // character at a time, up to the length or the first zero byte.
    std::mbstate_t state{};
    size_t i = 1;
    while (i < length && text[i] != '\0') {
        wchar_t c = 0;
        const size_t used = std::mbrtowc(&c, text + i, length - i, &state);
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2) || used == 0 ||
            !std::iswprint(c) || c == L'\\') {
            result.SetError(CConsolidatedError::IOCTL_SERIALNO_INVALID, static_cast<const char*>(nullptr));
            return result;
        }
        i += used;
    }
    return result;
}
