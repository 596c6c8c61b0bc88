#include "tests/cli/UviFaults.h"

#include <mutex>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/api/UviHybridRecords.h"

namespace clitest {

namespace {

struct Rule {
    UviFault fault;
    int seen = 0;
    int fired = 0;
};

std::mutex rulesLock;
std::vector<Rule> rules;

// The rule that takes this call of the function, if any: a copy of its fault.
bool Take(const char* function, UviFault& taken) {
    std::lock_guard<std::mutex> hold(rulesLock);
    for (Rule& rule : rules) {
        if (rule.fault.function != function)
            continue;
        if (rule.seen++ < rule.fault.skip)
            continue;
        if (rule.fault.times >= 0 && rule.fired >= rule.fault.times)
            continue;
        ++rule.fired;
        taken = rule.fault;
        return true;
    }
    return false;
}

// An information query (session, handle, record): the failure is the library's answer to an unknown
// handle.
template <class Record, class Real>
_UVI_Error InfoQuery(const char* function, Real real, unsigned int session, unsigned int handle,
                     Record* record) {
    UviFault fault;
    if (!Take(function, fault))
        return real(session, handle, record);
    if (!fault.edit)
        return real(session, UNKNOWN_HANDLE, record);
    const _UVI_Error answer = real(session, handle, record);
    fault.edit(record);
    return answer;
}

} // namespace

ScopedUviFaults::ScopedUviFaults(std::vector<UviFault> given) {
    std::lock_guard<std::mutex> hold(rulesLock);
    rules.clear();
    for (UviFault& fault : given)
        rules.push_back(Rule{std::move(fault)});
}

ScopedUviFaults::~ScopedUviFaults() {
    std::lock_guard<std::mutex> hold(rulesLock);
    for (const Rule& rule : rules)
        if (rule.fired == 0)
            ADD_FAILURE() << "the fault rule for " << rule.fault.function << " never fired";
    rules.clear();
}

} // namespace clitest

extern "C" {

_UVI_Error __real_UviGetControllerInfo(unsigned int, uint32_t, _UVI_ControllerInfo*);
_UVI_Error __real_UviGetRaidInfo(unsigned int, uint32_t, _UVI_RaidInfo*);
_UVI_Error __real_UviGetRaidLevelInfo(unsigned int, uint32_t, uint32_t, _UVI_RaidLevelInfo*);
_UVI_Error __real_UviGetArrayHandles(unsigned int, unsigned int*, unsigned int*);
_UVI_Error __real_UviGetArrayInfo(unsigned int, unsigned int, _UVI_ArrayInfo*);
_UVI_Error __real_UviGetHybridDiskSetInfo(unsigned int, unsigned int, _UVI_HybridDiskSetInfo*);
_UVI_Error __real_UviSessionClose(unsigned int);

_UVI_Error __wrap_UviGetControllerInfo(unsigned int session, uint32_t handle, _UVI_ControllerInfo* info) {
    return clitest::InfoQuery("UviGetControllerInfo", __real_UviGetControllerInfo, session, handle, info);
}

_UVI_Error __wrap_UviGetRaidInfo(unsigned int session, uint32_t handle, _UVI_RaidInfo* info) {
    return clitest::InfoQuery("UviGetRaidInfo", __real_UviGetRaidInfo, session, handle, info);
}

_UVI_Error __wrap_UviGetRaidLevelInfo(unsigned int session, uint32_t handle, uint32_t level,
                                      _UVI_RaidLevelInfo* info) {
    return clitest::InfoQuery(
        "UviGetRaidLevelInfo",
        [level](unsigned int s, unsigned int h, _UVI_RaidLevelInfo* r) {
            return __real_UviGetRaidLevelInfo(s, h, level, r);
        },
        session, handle, info);
}

_UVI_Error __wrap_UviGetArrayInfo(unsigned int session, unsigned int handle, _UVI_ArrayInfo* info) {
    return clitest::InfoQuery("UviGetArrayInfo", __real_UviGetArrayInfo, session, handle, info);
}

_UVI_Error __wrap_UviGetHybridDiskSetInfo(unsigned int session, unsigned int handle,
                                          _UVI_HybridDiskSetInfo* info) {
    return clitest::InfoQuery("UviGetHybridDiskSetInfo", __real_UviGetHybridDiskSetInfo, session, handle,
                              info);
}

// A handle list query: the failure is the library's answer to a session it does not know.
_UVI_Error __wrap_UviGetArrayHandles(unsigned int session, unsigned int* handles, unsigned int* count) {
    clitest::UviFault fault;
    if (!clitest::Take("UviGetArrayHandles", fault))
        return __real_UviGetArrayHandles(session, handles, count);
    if (!fault.edit)
        return __real_UviGetArrayHandles(clitest::UNKNOWN_HANDLE, handles, count);
    const _UVI_Error answer = __real_UviGetArrayHandles(session, handles, count);
    fault.edit(count);
    return answer;
}

// The record a close is given is its session handle.
_UVI_Error __wrap_UviSessionClose(unsigned int session) {
    clitest::UviFault fault;
    if (!clitest::Take("UviSessionClose", fault))
        return __real_UviSessionClose(session);
    if (!fault.edit)
        return __real_UviSessionClose(clitest::UNKNOWN_HANDLE);
    const _UVI_Error answer = __real_UviSessionClose(session);
    fault.edit(&session);
    return answer;
}
}
