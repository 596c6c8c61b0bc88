#pragma once
// An append-only log file of the state directory (one compact JSON entry per line), for the logs
// that grow with every change (the event log, the registry's write log): appending one entry costs
// one write instead of a rewrite of the machine's state. The file keeps the latest `keep` entries:
// once it grows past a bound it is cut back to them.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

class StateLog {
public:
    // `file` under the current machine's state directory.
    StateLog(std::string file, size_t keep);

    // Appends an entry under the log's lock; `make` gets the last entry (if any) to number the new
    // one from.
    void Append(const std::function<nlohmann::json(const std::optional<nlohmann::json>& last)>& make);
    void Append(const nlohmann::json& entry);
    std::vector<nlohmann::json> Entries() const;
    void Clear();

private:
    std::string file_;
    size_t keep_;
};

} // namespace sim
