#include "middleware/cacheservice/HalvexMessages.h"

#include <cstring>

namespace {

constexpr size_t kHeaderOffset = 20;
constexpr uint32_t kMigrationStatusKind = 6;
constexpr uint32_t kRequestBit = 1u << 17;
constexpr uint32_t kValidBit = 1u << 18;

} // namespace

uint32_t Message::HeaderWord() const {
    uint32_t word = 0;
    std::memcpy(&word, buffer_ + kHeaderOffset, sizeof word);
    return word;
}

uint16_t Message::Check(bool request) const {
    const uint32_t word = HeaderWord();
    const bool valid = word & kValidBit;
    const uint32_t top = valid ? (word >> 25) & 0x7F : (word >> 26) & 0x3F;
    const bool accepted =
        valid && ((word & kRequestBit) != 0) == request && (word & 0xFFFF) == kMigrationStatusKind;
    return static_cast<uint16_t>(top << 8 | (accepted ? 1 : 0));
}

MigrationStatusRequest::MigrationStatusRequest(uint8_t* buffer) : Request(buffer) {
    uint32_t word = HeaderWord();
    word = (word & ~0xFFFFu) | kMigrationStatusKind | kRequestBit | kValidBit;
    std::memcpy(buffer_ + kHeaderOffset, &word, sizeof word);
}

MigrationStatusReplyData MigrationStatusReply::Data() const {
    MigrationStatusReplyData data;
    static_assert(sizeof data <= kCapacity);
    std::memcpy(&data, buffer_, sizeof data);
    return data;
}

FILETIME ToFileTime(uint64_t value) {
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

bool IsTimeAvailable(uint64_t value) {
    return static_cast<uint32_t>(value) != 0xFFFFFFFFu && static_cast<uint32_t>(value >> 32) != 0xFFFFFFFFu;
}
