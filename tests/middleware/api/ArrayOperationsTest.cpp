// Removing every volume of an array, pass by pass, against the simulated driver.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/ArrayOperations.h"
#include "middleware/api/UviApi.h"
#include "middleware/api/UviArrayRecords.h"
#include "middleware/api/UviVolumeOperations.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/VolumeTransaction.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/middleware/api/QueryTestSupport.h"
#include "tests/middleware/api/RaidDiskEntries.h"
#include "tests/middleware/api/RaidTopology.h"
#include "tests/middleware/model/RaidConfigWord.h"

namespace {

// The default machine's mirror array holding three volumes; the driver acts at once.
sim::MachineBuilder ThreeVolumes(bool firstSurvivesDelete = false) {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/0/raid/action_ms", "0");
    b.Set("/adapters/0/raid/volumes", R"([
        {"name": "Vol1", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 0},
        {"name": "Vol2", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 0},
        {"name": "Vol3", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 0}])");
    if (firstSurvivesDelete)
        b.Set("/adapters/0/raid/volumes/0/survives_delete", "true");
    return b;
}

class RemoveArrayVolumes : public ::testing::Test {
protected:
    explicit RemoveArrayVolumes(const sim::MachineBuilder& machine = ThreeVolumes()) : machine_(machine) {
        DeviceLocator::ResetForTests();
    }
    ~RemoveArrayVolumes() override { DeviceLocator::ResetForTests(); }
    void SetUp() override {
        ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS);
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr));
        std::unique_ptr<Session> session(built);
        ASSERT_TRUE(session);
        for (const auto& c : session->getControllers())
            if (!c->getArrays().empty()) {
                controller_ = c->getHandle();
                array_ = c->getArrays().at(0)->getHandle();
            }
        ASSERT_NE(array_, 0u);
    }
    void TearDown() override { static_cast<void>(UviFinalize()); }

    // Deletes a volume with the driver's delete action, counting the calls.
    CConsolidatedError Delete(Session& session, uint32_t volume) {
        ++deletes_;
        const std::shared_ptr<Controller> controller = session.getControllerByHandle(controller_);
        ControllerLocatorLock lock(controller->getTarget());
        VolumeTransaction transaction(controller_, volume);
        return transaction.singleVolumeTransaction(session, controller->getTarget(), 1);
    }
    CConsolidatedError Remove(uint32_t controller, uint32_t array) {
        return RemoveArrayVolumesWith(
            controller, array, [this](Session& session, uint32_t volume) { return Delete(session, volume); });
    }
    static std::string Topology() { return apitest::RaidTopology(); }

    sim::ScopedMachine machine_;
    uint32_t controller_ = 0, array_ = 0;
    int deletes_ = 0;
};

TEST_F(RemoveArrayVolumes, ThreeVolumesGoInThreePasses) {
    CConsolidatedError result = Remove(controller_, array_);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    EXPECT_EQ(deletes_, 3);
    EXPECT_EQ(Topology().find("volume "), std::string::npos);
}

TEST_F(RemoveArrayVolumes, TheVolumeDeletionEmptiesTheArrayForTheNextProcess) {
    CConsolidatedError result = removeAllArrayVolumes(controller_, array_);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    const std::string topology = Topology();
    EXPECT_EQ(topology.find("volume "), std::string::npos) << topology;
    EXPECT_NE(topology.find("disk TS-0077 2 "), std::string::npos) << topology; // the members are free
    // Under the disk operations' name, nothing is left to do.
    EXPECT_TRUE(removeAllVolumesFromArray(controller_, array_).IsSuccessful());
}

TEST_F(RemoveArrayVolumes, ArrayWithoutVolumesOrUnknownControllerDeletesNothing) {
    EXPECT_TRUE(Remove(controller_, 0).IsSuccessful());
    EXPECT_TRUE(Remove(controller_, 0x7FFF0000).IsSuccessful());
    CConsolidatedError missing = Remove(0x7FFF0001, array_);
    EXPECT_EQ(missing.GetErrorCode(), 0xA0000006u);
    EXPECT_STREQ(missing.GetErrorMessage(),
                 "Remove all volumes from array: Can't find controller with given handle.");
    EXPECT_EQ(deletes_, 0);
    EXPECT_NE(Topology().find("volume Vol3 "), std::string::npos);
}

class RemoveArrayVolumesOfALyingDriver : public RemoveArrayVolumes {
protected:
    RemoveArrayVolumesOfALyingDriver() : RemoveArrayVolumes(ThreeVolumes(true)) {}
};

TEST_F(RemoveArrayVolumesOfALyingDriver, DeletionsThatLeaveTheVolumeEndAfterAsManyPassesAsThereWereVolumes) {
    CConsolidatedError result = Remove(controller_, array_);
    EXPECT_EQ(result.GetErrorCode(), 0xA001000Fu);
    EXPECT_EQ(deletes_, 4);
    EXPECT_NE(Topology().find("volume Vol1 "), std::string::npos);

    // The volume operations' deletion is bounded alike.
    result = removeAllArrayVolumes(controller_, array_);
    EXPECT_EQ(result.GetErrorCode(), 0xA001000Fu);
    EXPECT_NE(Topology().find("volume Vol1 "), std::string::npos);
}

// The array's write cache, on the default machine whose array caches writes (policy 1).
class ArrayWriteCache : public ::testing::Test {
protected:
    explicit ArrayWriteCache(const sim::MachineBuilder& machine = sim::MachineBuilder::Default())
        : machine_(machine) {
        DeviceLocator::ResetForTests();
    }
    ~ArrayWriteCache() override { DeviceLocator::ResetForTests(); }
    void SetUp() override { ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS); }
    void TearDown() override { static_cast<void>(UviFinalize()); }

    // The array as a fresh session reads it.
    static std::shared_ptr<RaidArray> Array() {
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr));
        std::unique_ptr<Session> session(built);
        for (const auto& c : session->getControllers())
            if (!c->getArrays().empty())
                return c->getArrays().at(0);
        ADD_FAILURE() << "no array";
        return nullptr;
    }
    // 1 off, 2 on, as the array query reports it.
    static uint32_t WriteCache() { return WriteCache(Array()->getHandle()); }
    static uint32_t WriteCache(uint32_t array) {
        _UVI_ArrayInfo info{};
        const _UVI_Error read = UviGetArrayInfo(0, array, &info);
        EXPECT_EQ(read.status, 0u) << querytest::Message(read);
        return info.writeCache;
    }
    static uint32_t LastTrigger() { return modeltest::RaidConfigWord(DeviceLocator::FindByPort(0), 24); }

    sim::ScopedMachine machine_;
    sim::ScopedVirtualClock clock_;
};

TEST_F(ArrayWriteCache, APolicyInEffectSendsNothingAnotherIsTriggered) {
    const uint32_t array = Array()->getHandle();
    ASSERT_EQ(WriteCache(), 2u);
    _UVI_Error result = UviArraySetWriteCacheState(array, 0x101); // only the low 8 bits count
    EXPECT_EQ(result.status, 0u) << querytest::Message(result) << querytest::Debug(result);
    EXPECT_EQ(LastTrigger(), 0u);

    result = UviArraySetWriteCacheState(array, 0);
    EXPECT_EQ(result.status, 0u) << querytest::Message(result) << querytest::Debug(result);
    EXPECT_EQ(LastTrigger(), 13u);
    EXPECT_EQ(WriteCache(), 1u);
}

TEST_F(ArrayWriteCache, UnknownArraysAreNamedInTheDebugText) {
    for (uint32_t handle : {0u, 0x7FFF0000u}) {
        SCOPED_TRACE(handle);
        const _UVI_Error result = UviArraySetWriteCacheState(handle, 0);
        EXPECT_EQ(result.code, 0xA0010003u);
        EXPECT_NE(querytest::Debug(result).find("Error getting array info for the handle passed in!"),
                  std::string::npos);
    }
    EXPECT_EQ(LastTrigger(), 0u);
}

// The default machine with a second array caching writes, on disks PT-4 and PT-5.
sim::MachineBuilder TwoArrays() {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    for (int target = 4; target <= 5; ++target) {
        b.Append("/disks", apitest::DiskEntry("PT-" + std::to_string(target), target, "1000215216"));
        b.Append("/adapters/0/raid/disks", apitest::RaidRecord(target));
        b.Append("/adapters/0/ports", apitest::RaidRecord(target));
    }
    b.Append("/adapters/0/raid/arrays", R"({"disks": [4, 5], "number": 1, "write_cache": 1})");
    b.Append("/adapters/0/raid/volumes",
             R"({"name": "Second", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 1})");
    return b;
}

class ArrayWriteCacheOfTwoArrays : public ArrayWriteCache {
protected:
    ArrayWriteCacheOfTwoArrays() : ArrayWriteCache(TwoArrays()) {}
    static std::vector<uint32_t> Arrays() {
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr));
        std::unique_ptr<Session> session(built);
        std::vector<uint32_t> handles;
        for (const auto& c : session->getControllers())
            for (const auto& a : c->getArrays())
                handles.push_back(a->getHandle());
        return handles;
    }
};

TEST_F(ArrayWriteCacheOfTwoArrays, AChangeWhoseTriggerFailedIsNotAppliedByTheNextArraysChange) {
    const std::vector<uint32_t> arrays = Arrays();
    ASSERT_EQ(arrays.size(), 2u);
    struct Case {
        const char* name;
        const char* triggerErrors;
        const char* fault;
    };
    const Case cases[] = {
        {"the driver refuses the trigger", "[22]", nullptr},
        {"the trigger never reaches the driver", nullptr,
         R"({"kind": "RaidRequest", "match": {"group": 1, "field": 42, "direction": 1}, "times": 1,
             "outcome": {"win32_error": 31}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.triggerErrors)
            machine_->SetValue("/adapters/0/raid/trigger_errors", sim::Value::parse(c.triggerErrors));
        if (c.fault)
            machine_->faults().Add(c.fault);
        EXPECT_NE(UviArraySetWriteCacheState(arrays[0], 0).status, 0u);
        EXPECT_EQ(WriteCache(arrays[0]), 2u);

        _UVI_Error result = UviArraySetWriteCacheState(arrays[1], 0);
        EXPECT_EQ(result.status, 0u) << querytest::Message(result) << querytest::Debug(result);
        EXPECT_EQ(WriteCache(arrays[1]), 1u);
        EXPECT_EQ(WriteCache(arrays[0]), 2u);

        result = UviArraySetWriteCacheState(arrays[1], 1);
        EXPECT_EQ(result.status, 0u) << querytest::Message(result) << querytest::Debug(result);
        EXPECT_EQ(WriteCache(arrays[0]), 2u);
    }
}

} // namespace
