#pragma once
// The 16-character texts of the driver's RAID records (volume names, serial numbers, firmware and
// model texts) and the check a name passes before the library writes it into the driver.
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"

// The longest text a RAID record field holds, in characters.
constexpr uint32_t kIxoTextLength = 16;

// Copies a 16-byte field as a text (ending at its first zero byte or after 16 characters) into
// `buffer`. Without a buffer the answer is 17 (the largest size needed); a buffer shorter than the
// text and its terminator is left untouched and the answer is 0; otherwise the text is copied with
// its terminator and its length + 1 is the answer.
uint32_t CopyIxoText16(const void* field16, char* buffer, uint32_t length);

// The same copies from a record the caller holds: the text at offset 4 (a volume's name, a disk's
// or array member's serial number), 72 and 88 (the disk record's two further texts).
uint32_t CopyIxoSerialNumber(const void* record, char* buffer, uint32_t length);
uint32_t CopyRaidDiskText72(const void* record, char* buffer, uint32_t length);
uint32_t CopyRaidDiskText88(const void* record, char* buffer, uint32_t length);

// The check of a name written into the driver, first failure wins: null 0xA0000006; empty or
// starting with a zero byte 0xA003013D; longer than 16 0xA003013E; starting with white space
// 0xA003013F; a later character that is not printable (current locale, multibyte-aware) or a
// backslash 0xA0030140. No message text.
CConsolidatedError ValidateSerialNumber(const char* text, uint32_t length);
