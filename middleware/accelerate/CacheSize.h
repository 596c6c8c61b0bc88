#pragma once
// A size the caller of an acceleration asks for: none, the largest that fits, an explicit one, or
// one the pairing enable works out.
#include <cstdint>

struct CacheSizeSpec {
    static constexpr int32_t kNone = 0;
    static constexpr int32_t kLargest = 1;
    static constexpr int32_t kExplicit = 2;
    static constexpr int32_t kAutomatic = 3;

    int32_t mode = kAutomatic;
    uint64_t size = 0;
    // The ceiling that the setters clamp to.
    uint64_t max = UINT64_MAX;

    // 0 for no size, the size when explicit; any other mode throws std::logic_error("VolumeSize not
    // specified but retrieval attempted"): the largest and the automatic size must be worked out
    // before anyone reads them.
    uint64_t getSize() const;
};
