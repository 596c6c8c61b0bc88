#pragma once
// One option of the command line, and the hash containers of options.
#include <cstdint>
#include <string>
#include <unordered_set>

namespace MOX {

struct OptionDescriptor {
    static constexpr int32_t VALUE_REQUIRED = 0;
    static constexpr int32_t VALUE_OPTIONAL = 1;
    static constexpr int32_t VALUE_NONE = 2;

    std::string longName;
    std::string shortName;
    std::string description;
    bool listed = false;
    int32_t helpLevel = 0;
    int32_t valueKind = VALUE_NONE;
    std::string valueName;
};

// Options are one option when both names match; the rest is presentation.
bool operator==(const OptionDescriptor& a, const OptionDescriptor& b);

uint64_t Fnv1a64(const std::string& bytes);

// Hashes the long name only, so equal descriptors always hash alike.
struct OptionDescriptorHash {
    size_t operator()(const OptionDescriptor& descriptor) const;
};

// Orders by short name then long name, letters folded to lower case; equal keys are one element.
struct OptionDescriptorLess {
    bool operator()(const OptionDescriptor& a, const OptionDescriptor& b) const;
};

using OptionDescriptorSet = std::unordered_set<OptionDescriptor, OptionDescriptorHash>;

} // namespace MOX
