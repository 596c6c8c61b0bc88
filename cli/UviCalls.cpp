#include "cli/UviCalls.h"

#include <atomic>
#include <map>
#include <mutex>

namespace MOX {

namespace {

struct Table {
    std::mutex lock;
    std::map<uvicalls::Key, std::shared_ptr<const void>> standIns;
    std::atomic<size_t> count{0};
};

Table& TheTable() {
    static Table table;
    return table;
}

} // namespace

namespace uvicalls {

bool Any() {
    return TheTable().count.load(std::memory_order_acquire) != 0;
}

std::shared_ptr<const void> Find(Key key) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> hold(table.lock);
    const auto found = table.standIns.find(key);
    return found == table.standIns.end() ? nullptr : found->second;
}

std::shared_ptr<const void> Put(Key key, std::shared_ptr<const void> standIn) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> hold(table.lock);
    std::shared_ptr<const void> replaced;
    if (const auto found = table.standIns.find(key); found != table.standIns.end()) {
        replaced = std::move(found->second);
        table.standIns.erase(found);
    }
    if (standIn)
        table.standIns.emplace(key, std::move(standIn));
    table.count.store(table.standIns.size(), std::memory_order_release);
    return replaced;
}

} // namespace uvicalls

UviStandInScope::UviStandInScope(uvicalls::Key key, std::shared_ptr<const void> standIn)
    : key_(key), replaced_(uvicalls::Put(key, std::move(standIn))) {}

UviStandInScope::~UviStandInScope() {
    uvicalls::Put(key_, std::move(replaced_));
}

} // namespace MOX
