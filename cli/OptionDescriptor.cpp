#include "cli/OptionDescriptor.h"

#include <algorithm>
#include <cctype>

namespace MOX {

bool operator==(const OptionDescriptor& a, const OptionDescriptor& b) {
    return a.longName == b.longName && a.shortName == b.shortName;
}

uint64_t Fnv1a64(const std::string& bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

size_t OptionDescriptorHash::operator()(const OptionDescriptor& descriptor) const {
    return static_cast<size_t>(Fnv1a64(descriptor.longName));
}

namespace {

std::string SortKey(const OptionDescriptor& descriptor) {
    std::string key = descriptor.shortName + descriptor.longName;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

} // namespace

bool OptionDescriptorLess::operator()(const OptionDescriptor& a, const OptionDescriptor& b) const {
    // std::string compares its characters as unsigned char.
    return SortKey(a) < SortKey(b);
}

} // namespace MOX
