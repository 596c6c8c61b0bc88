#include "middleware/accelerate/CacheSize.h"

#include <stdexcept>

uint64_t CacheSizeSpec::getSize() const {
    if (mode == kNone)
        return 0;
    if (mode == kExplicit)
        return size;
    throw std::logic_error("VolumeSize not specified but retrieval attempted");
}
