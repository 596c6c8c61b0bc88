// The action validator: how the runner combines what its rules find, the validation step of the
// actions, and the rules themselves on sessions of the simulated PC.
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/ActionValidator.h"
#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionarySingleton.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/Session.h"
#include "middleware/model/ZrcRemapRequestCache.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

using namespace UviActionValidator;

CConsolidatedError Failure(KEDO2_ERRORS code, const char* message, const char* debug) {
    CConsolidatedError error;
    error.SetError(code, message, debug);
    return error;
}

// A rule that throws what it is given (nothing: it holds).
class FixedRule : public Rule {
public:
    explicit FixedRule(std::function<void()> outcome) : outcome_(std::move(outcome)) {}
    void Validate(Session&) override { outcome_(); }

private:
    std::function<void()> outcome_;
};

std::shared_ptr<Rule> Holds() {
    return std::make_shared<FixedRule>([] {});
}
std::shared_ptr<Rule> Fails(const CConsolidatedError& error) {
    return std::make_shared<FixedRule>([error] { throw error; });
}
std::shared_ptr<Rule> ThrowsStd(const char* text) {
    return std::make_shared<FixedRule>([text] { throw std::runtime_error(text); });
}

CConsolidatedError Outcome(Session& session, const RuleSet& rules) {
    try {
        ActionValidator::Validate(session, rules);
    } catch (const CConsolidatedError& error) {
        return error;
    }
    return CConsolidatedError();
}

TEST(ActionValidatorRunner, OneViolationComesBackUnchangedSeveralAreNumbered) {
    Session session(nullptr);
    EXPECT_TRUE(Outcome(session, {Holds(), Holds()}).IsSuccessful());

    const CConsolidatedError first =
        Failure(CConsolidatedError::UVI_ACTION_VALIDATOR_RAID_ACTION_ON_TG, "first", "d1");
    const CConsolidatedError alone = Outcome(session, {Holds(), Fails(first), Holds()});
    EXPECT_EQ(alone.GetErrorCode(), first.GetErrorCode());
    EXPECT_STREQ(alone.GetErrorMessage(), "first");
    EXPECT_STREQ(alone.GetDebugInformation(), "d1");

    const CConsolidatedError second = Failure(CConsolidatedError::UVI_INTERNALERROR, "second", "d2");
    const CConsolidatedError both = Outcome(session, {Fails(first), Holds(), Fails(second)});
    EXPECT_EQ(both.GetErrorCode(), CConsolidatedError::UVI_ACTION_VALIDATOR_RAID_ACTION_ON_TG);
    EXPECT_EQ(std::string(both.GetErrorMessage()), "Validation error no. #1. " + first.getErrorTypeSummary() +
                                                       "\nfirst\nValidation error no. #2. " +
                                                       second.getErrorTypeSummary() + "\nsecond");
    EXPECT_STREQ(both.GetDebugInformation(),
                 "Validation error no. 1 debug info\nd1\nValidation error no. 2 debug info\nd2");
    EXPECT_EQ(both.getErrorTypeSummary(), first.getErrorTypeSummary());
}

TEST(ActionValidatorRunner, AStandardExceptionOfARuleIsAnInternalError) {
    Session session(nullptr);
    const CConsolidatedError result = Outcome(session, {ThrowsStd("bad rule")});
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_INTERNALERROR);
    EXPECT_STREQ(result.GetErrorMessage(), "Exception caught in ActionValidator::Validate. Msg: bad rule");
}

TEST(ActionValidatorRunner, TheActionRunsOnlyWhenEveryRuleHolds) {
    Session session(nullptr);
    int ran = 0;
    const auto action = [&] {
        ++ran;
        return CConsolidatedError(CConsolidatedError::UVI_TIMEOUT);
    };
    EXPECT_EQ(ValidateThenRun(
                  session, [] { return RuleSet{Holds()}; }, action)
                  .GetErrorCode(),
              CConsolidatedError::UVI_TIMEOUT);
    EXPECT_EQ(ran, 1);
    const CConsolidatedError refused =
        Failure(CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOT_SUPPORTED, "no", "");
    EXPECT_EQ(ValidateThenRun(
                  session, [&] { return RuleSet{Fails(refused)}; }, action)
                  .GetErrorCode(),
              refused.GetErrorCode());
    const CConsolidatedError buildFailed = ValidateThenRun(
        session, []() -> RuleSet { throw std::length_error("no rules"); }, action);
    EXPECT_EQ(buildFailed.GetErrorCode(), CConsolidatedError::UVI_INTERNALERROR);
    EXPECT_STREQ(buildFailed.GetErrorMessage(), "no rules");
    EXPECT_EQ(ran, 1);
    // What the action itself throws is not the validation's to catch.
    EXPECT_THROW(static_cast<void>(ValidateThenRun(
                     session, [] { return RuleSet{}; },
                     []() -> CConsolidatedError { throw std::runtime_error("action"); })),
                 std::runtime_error);
}

TEST(ActionValidatorRuleSets, EachActionGetsItsRules) {
    const uint32_t disks[] = {4, 5};
    for (const RuleSet& rules : {RulesForVolumeCreateFromDisks(disks, 2), RulesForAddDisksToArray(disks, 2),
                                 RulesForRaidLevelModify(disks, 2)}) {
        ASSERT_EQ(rules.size(), 1u);
        const auto* rule = dynamic_cast<DiskIsHybridNvmeDiskRule*>(rules[0].get());
        ASSERT_NE(rule, nullptr);
        EXPECT_EQ(rule->diskHandles(), (std::vector<uint32_t>{4, 5}));
    }
    const RuleSet none = RulesForAddDisksToArray(nullptr, 0);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_TRUE(dynamic_cast<DiskIsHybridNvmeDiskRule&>(*none[0]).diskHandles().empty());
    EXPECT_EQ(dynamic_cast<DiskIsHybridNvmeDiskRule&>(*RulesForDiskMarkAsSpare(9)[0]).diskHandles(),
              std::vector<uint32_t>{9});
    EXPECT_TRUE(RulesForVezkAccelerate(9, 2).empty());
    EXPECT_EQ(RulesForVezkAccelerate(9, 0).size(), 1u);

    const RuleSet remap = RulesForZrcRemapController({1});
    ASSERT_EQ(remap.size(), 4u);
    EXPECT_NE(dynamic_cast<ZrcRemapSupported*>(remap[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<ZrcAnyControllerRemapable*>(remap[1].get()), nullptr);
    EXPECT_NE(dynamic_cast<ZrcRemapHybridAsOne*>(remap[2].get()), nullptr);
    EXPECT_NE(dynamic_cast<ZrcRemapPciSwitchAsOne*>(remap[3].get()), nullptr);
    EXPECT_EQ(RulesForZrcRemapControllerAll().size(), 4u);
    const RuleSet revert = RulesForZrcRemapRevert({1});
    ASSERT_EQ(revert.size(), 2u);
    EXPECT_NE(dynamic_cast<ZrcRemapHybridAsOne*>(revert[0].get()), nullptr);
}

// Rules over a session of a machine: every controller kind (controllers.json) or the default PC.
class RulesOnMachine : public ::testing::Test {
protected:
    void Build(const sim::MachineBuilder& machine) {
        DeviceLocator::ResetForTests();
        IoctlInterfaceVersionStore::ResetForTests();
        CDictionarySingleton::Release();
        HandleRegistry::instance().resetForTests();
        machine_ = std::make_unique<sim::ScopedMachine>(machine);
        Session* built = nullptr;
        ASSERT_TRUE(Session::Create(built, &cache_).IsSuccessful());
        session_.reset(built);
    }
    ~RulesOnMachine() override {
        session_.reset();
        DeviceLocator::ResetForTests();
    }
    uint32_t HandleOfPort(int port) {
        for (const auto& controller : session_->getAllControllers())
            if (controller->getPortNumber() == port)
                return controller->getHandle();
        ADD_FAILURE() << "no controller on port " << port;
        return 0;
    }
    CConsolidatedError Check(Rule&& rule) {
        try {
            rule.Validate(*session_);
        } catch (const CConsolidatedError& error) {
            return error;
        }
        return CConsolidatedError();
    }

    std::unique_ptr<sim::ScopedMachine> machine_;
    ZrcRemapRequestCache cache_;
    std::unique_ptr<Session> session_;
};

// Groups a test names, checked as the remap rules check theirs.
class GivenGroups : public ZrcRemapInOneCommand {
public:
    GivenGroups(const std::vector<uint32_t>& selected, std::vector<std::vector<uint32_t>> groups)
        : ZrcRemapInOneCommand(selected), groups_(std::move(groups)) {}

protected:
    void GetGroups(Session&) override {
        for (const auto& group : groups_)
            checkGroup(group);
    }
    KEDO2_ERRORS GetErrorCode() const override {
        return CConsolidatedError::UVI_ACTION_ZRC_REMAP_HYBRID_NOT_ALL_MEMBERS;
    }

private:
    std::vector<std::vector<uint32_t>> groups_;
};

TEST_F(RulesOnMachine, ARemappingControllerAndWhichControllersCanGoBehindIt) {
    Build(sim::MachineBuilder::FromFile("controllers.json"));
    ASSERT_TRUE(session_->hasZrcController());
    const uint32_t sata = HandleOfPort(0);
    const uint32_t zrc = HandleOfPort(2);

    EXPECT_TRUE(Check(ZrcAnyControllerRemapable({zrc, sata})).IsSuccessful());
    EXPECT_TRUE(Check(ZrcAnyControllerRemapable()).IsSuccessful());
    EXPECT_TRUE(Check(ZrcAnyControllerRemapable({sata, 0x7FFFFFF0})).IsSuccessful())
        << "an earlier remap-capable controller decides";

    const CConsolidatedError onlyZrc = Check(ZrcAnyControllerRemapable({zrc}));
    EXPECT_EQ(onlyZrc.GetErrorCode(), CConsolidatedError::UVI_ACTION_ZRC_REMAP_UNSUPPORTED_CONTROLLER);
    EXPECT_EQ(std::string(onlyZrc.GetErrorMessage()), "Cannot perform action, controller with handle [" +
                                                          std::to_string(static_cast<int>(zrc)) +
                                                          "] does not support ZRC remapping");
    const CConsolidatedError empty = Check(ZrcAnyControllerRemapable(std::vector<uint32_t>{}));
    EXPECT_EQ(empty.GetErrorCode(), CConsolidatedError::UVI_ACTION_ZRC_REMAP_UNSUPPORTED_CONTROLLER);
    EXPECT_STREQ(empty.GetErrorMessage(), "");
    const CConsolidatedError unknown = Check(ZrcAnyControllerRemapable({0x7FFFFFF0, sata}));
    EXPECT_EQ(unknown.GetErrorCode(), CConsolidatedError::UVI_INVALIDHANDLE);
    EXPECT_STREQ(unknown.GetErrorMessage(), "Cannot perform action, controller is null");

    // The remap request was never read.
    EXPECT_EQ(Check(ZrcRemapSupported()).GetErrorCode(),
              CConsolidatedError::UVI_ACTION_ZRC_REMAP_NOT_SUPPORTED);
}

TEST_F(RulesOnMachine, ControllersOfOneGroupAreRemappedTogether) {
    Build(sim::MachineBuilder::FromFile("controllers.json"));
    const uint32_t scsi2 = HandleOfPort(2);
    const uint32_t scsi3 = HandleOfPort(3);
    const uint32_t scsi4 = HandleOfPort(4);

    const CConsolidatedError partly = Check(GivenGroups({scsi2}, {{scsi3, scsi2}, {scsi4}}));
    EXPECT_EQ(partly.GetErrorCode(), CConsolidatedError::UVI_ACTION_ZRC_REMAP_HYBRID_NOT_ALL_MEMBERS);
    EXPECT_STREQ(partly.GetErrorMessage(),
                 "Controllers selected: [Scsi2] must be remapped together with: [Scsi3] in one command\n");
    EXPECT_TRUE(Check(GivenGroups({scsi2, scsi3}, {{scsi3, scsi2}, {scsi4}})).IsSuccessful());
    EXPECT_TRUE(Check(GivenGroups({scsi4}, {{scsi3, scsi2}})).IsSuccessful()) << "an untouched group";
    EXPECT_STREQ(
        Check(GivenGroups({scsi2}, {{scsi2, 0x7FFFFFF0}})).GetErrorMessage(),
        "Controllers selected: [Scsi2] must be remapped together with: [Scsiunknown] in one command\n");
}

TEST_F(RulesOnMachine, WithoutARemappingControllerNothingIsRemapped) {
    Build(sim::MachineBuilder::Default());
    EXPECT_FALSE(session_->hasZrcController());
    const CConsolidatedError result = Check(ZrcAnyControllerRemapable());
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::UVI_ACTION_ZRC_REMAP_OPERATION_NO_ZRC_ON_SYSTEM);
    EXPECT_STREQ(result.GetErrorMessage(), "Cannot perform action, no ZRC on system");
    // Disks of the default PC are no hybrid drive's halves; unknown handles pass.
    std::vector<uint32_t> disks{0x7FFFFFF0};
    for (const auto& controller : session_->getControllers())
        for (const auto& disk : controller->getDisks())
            disks.push_back(disk->getHandle());
    EXPECT_TRUE(Check(DiskIsHybridNvmeDiskRule(disks)).IsSuccessful());
    EXPECT_TRUE(Check(ZrcRemapHybridAsOne()).IsSuccessful());
    EXPECT_TRUE(Check(ZrcRemapPciSwitchAsOne()).IsSuccessful());
}

TEST_F(RulesOnMachine, ControllersBehindOneRootPortGoTogether) {
    Build(sim::MachineBuilder::FromFile("pairing.json"));
    const uint32_t scsi1 = HandleOfPort(1);
    const uint32_t scsi2 = HandleOfPort(2);
    const CConsolidatedError alone = Check(ZrcRemapPciSwitchAsOne({scsi1, HandleOfPort(0)}));
    EXPECT_EQ(alone.GetErrorCode(), CConsolidatedError::UVI_ACTION_ZRC_REMAP_PCI_SWITCH_NOT_ALL_MEMBERS);
    EXPECT_STREQ(alone.GetErrorMessage(),
                 "Controllers selected: [Scsi1] must be remapped together with: [Scsi2] in one command\n");
    EXPECT_TRUE(Check(ZrcRemapPciSwitchAsOne({scsi2, scsi1})).IsSuccessful());
    EXPECT_TRUE(Check(ZrcRemapPciSwitchAsOne()).IsSuccessful()) << "all controllers take every group whole";
}

} // namespace
