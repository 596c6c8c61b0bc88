#pragma once
// Every platform call that reaches the simulated machine is recorded here, with the selectors that
// identify it and its input bytes, so that a test can check exactly what the product sent.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

struct Call {
    std::string kind;
    nlohmann::json selectors;
    std::vector<uint8_t> input;
};

class CallLog {
public:
    void Record(std::string kind, nlohmann::json selectors, std::vector<uint8_t> input = {});
    std::vector<Call> All() const;
    // The calls of one kind, oldest first.
    std::vector<Call> Of(const std::string& kind) const;
    size_t Count(const std::string& kind) const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

} // namespace sim
