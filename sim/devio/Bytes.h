#pragma once
// Little-endian reads and writes at documented offsets of a byte buffer. The simulator builds every
// answer this way, from the offsets of the Windows and driver records, never through C++ structs
// shared with the product. Writes that fall outside the buffer are dropped (an answer truncated to
// the caller's buffer); reads outside it give 0.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim::devio {

class ByteWriter {
public:
    explicit ByteWriter(std::span<uint8_t> bytes) : bytes_(bytes) {}
    explicit ByteWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    size_t size() const { return bytes_.size(); }
    std::span<uint8_t> bytes() const { return bytes_; }

    void U8(size_t offset, uint64_t value) { Put(offset, value, 1); }
    void U16(size_t offset, uint64_t value) { Put(offset, value, 2); }
    void U32(size_t offset, uint64_t value) { Put(offset, value, 4); }
    void U64(size_t offset, uint64_t value) { Put(offset, value, 8); }

    void Bytes(size_t offset, const void* data, size_t length) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < length; ++i)
            U8(offset + i, p[i]);
    }
    void Bytes(size_t offset, std::span<const uint8_t> data) { Bytes(offset, data.data(), data.size()); }

    // A text in a fixed-width field, padded with `pad` (ATA and NVMe identity strings use blanks).
    void Text(size_t offset, std::string_view text, size_t width, char pad = ' ') {
        for (size_t i = 0; i < width; ++i)
            U8(offset + i, static_cast<uint8_t>(i < text.size() ? text[i] : pad));
    }
    // An ATA identify string: pairs of characters swapped, blank-padded to `width` bytes.
    void AtaText(size_t offset, std::string_view text, size_t width) {
        for (size_t i = 0; i < width; ++i) {
            char c = i < text.size() ? text[i] : ' ';
            U8(offset + (i ^ 1), static_cast<uint8_t>(c));
        }
    }
    // A NUL-terminated text.
    void CString(size_t offset, std::string_view text) {
        Bytes(offset, text.data(), text.size());
        U8(offset + text.size(), 0);
    }
    // Sixteen-bit characters of a Windows wide text, up to `count` characters, zero-padded.
    void Utf16(size_t offset, std::string_view ascii, size_t count) {
        for (size_t i = 0; i < count; ++i)
            U16(offset + 2 * i, i < ascii.size() ? static_cast<uint8_t>(ascii[i]) : 0);
    }

private:
    void Put(size_t offset, uint64_t value, size_t width) {
        for (size_t i = 0; i < width; ++i)
            if (offset + i < bytes_.size() && offset + i >= offset)
                bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }

    std::span<uint8_t> bytes_;
};

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t size() const { return bytes_.size(); }
    bool Has(size_t offset, size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    uint8_t U8(size_t offset) const { return static_cast<uint8_t>(Get(offset, 1)); }
    uint16_t U16(size_t offset) const { return static_cast<uint16_t>(Get(offset, 2)); }
    uint32_t U32(size_t offset) const { return static_cast<uint32_t>(Get(offset, 4)); }
    uint64_t U64(size_t offset) const { return Get(offset, 8); }

    // Up to `width` bytes, ending at the first NUL.
    std::string Text(size_t offset, size_t width) const {
        std::string out;
        for (size_t i = 0; i < width && Has(offset + i, 1); ++i) {
            char c = static_cast<char>(bytes_[offset + i]);
            if (c == '\0')
                break;
            out += c;
        }
        return out;
    }

private:
    uint64_t Get(size_t offset, size_t width) const {
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i)
            if (Has(offset + i, 1))
                v |= uint64_t{bytes_[offset + i]} << (8 * i);
        return v;
    }

    std::span<const uint8_t> bytes_;
};

} // namespace sim::devio
