#pragma once
// Checks made before a configuration action changes anything: each action builds a set of rules
// over the session's snapshot, every rule runs, and all violations come back as one error, so the
// action is refused before any driver request is sent.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "middleware/core/ConsolidatedError.h"

class Session;

namespace UviActionValidator {

// Returns when the rule holds; throws a CConsolidatedError when it does not. Rules only read the
// session.
class Rule {
public:
    virtual ~Rule() = default;
    virtual void Validate(Session& session) = 0;
};

using RuleSet = std::vector<std::shared_ptr<Rule>>;

// A rule over a list of disk handles, copied at construction.
class DiskRule : public Rule {
public:
    explicit DiskRule(std::vector<uint32_t> diskHandles) : m_DiskHandles(std::move(diskHandles)) {}
    const std::vector<uint32_t>& diskHandles() const { return m_DiskHandles; }

protected:
    std::vector<uint32_t> m_DiskHandles;
};

// Refuses a listed disk that is one half of a hybrid drive (0xA0010068); handles the session does
// not know pass.
class DiskIsHybridNvmeDiskRule : public DiskRule {
public:
    using DiskRule::DiskRule;
    void Validate(Session& session) override;
};

// Holds when the remap request variable could be read (0xA0010076 otherwise).
class ZrcRemapSupported : public Rule {
public:
    void Validate(Session& session) override;
};

// Holds when the session has a remapping controller and one of the controllers (all of them, or
// the listed ones) can be remapped behind it.
class ZrcAnyControllerRemapable : public Rule {
public:
    // The all-controllers form.
    ZrcAnyControllerRemapable() : m_AllControllers(true) {}
    explicit ZrcAnyControllerRemapable(std::vector<uint32_t> controllerHandles)
        : m_AllControllers(false), m_ControllerHandles(std::move(controllerHandles)) {}
    void Validate(Session& session) override;

private:
    bool m_AllControllers;
    std::vector<uint32_t> m_ControllerHandles;
};

// Controllers that must be remapped together: a selection that takes part of a group is refused
// with one line per group naming the selected and the missing controllers.
class ZrcRemapInOneCommand : public Rule {
public:
    struct Violation {
        std::vector<uint32_t> selected;
        std::vector<uint32_t> missing;
    };

    ZrcRemapInOneCommand() : m_AllControllers(true) {}
    explicit ZrcRemapInOneCommand(const std::vector<uint32_t>& controllerHandles)
        : m_AllControllers(false), m_Selected(controllerHandles.begin(), controllerHandles.end()) {}
    void Validate(Session& session) override;

protected:
    virtual void GetGroups(Session& session) = 0;
    virtual KEDO2_ERRORS GetErrorCode() const = 0;
    // Records a violation when the group is partly selected; true when any of it is selected.
    bool checkGroup(std::vector<uint32_t> group);
    // "[Scsi<port>]" per handle ("[Scsiunknown]" for a handle no controller of the session has).
    static std::string controllerListText(const Session& session, const std::vector<uint32_t>& handles);

    bool m_AllControllers;
    std::set<uint32_t> m_Selected;
    std::vector<Violation> m_Violations;
};

// Groups: the controllers of each hybrid disk set (0xA0010077); a touched set that lost a member
// disk is refused at once (0xA0010078).
class ZrcRemapHybridAsOne : public ZrcRemapInOneCommand {
public:
    using ZrcRemapInOneCommand::ZrcRemapInOneCommand;

protected:
    void GetGroups(Session& session) override;
    KEDO2_ERRORS GetErrorCode() const override {
        return CConsolidatedError::UVI_ACTION_ZRC_REMAP_HYBRID_NOT_ALL_MEMBERS;
    }
};

// Groups: the controllers behind one PCI root port or switch (0xA0010079).
class ZrcRemapPciSwitchAsOne : public ZrcRemapInOneCommand {
public:
    using ZrcRemapInOneCommand::ZrcRemapInOneCommand;

protected:
    void GetGroups(Session& session) override;
    KEDO2_ERRORS GetErrorCode() const override {
        return CConsolidatedError::UVI_ACTION_ZRC_REMAP_PCI_SWITCH_NOT_ALL_MEMBERS;
    }
};

// The rule sets of the actions. Disk lists are (handles, count); a count of 0 gives an empty list.
RuleSet RulesForVolumeCreateFromDisks(const uint32_t* diskHandles, unsigned count);
RuleSet RulesForAddDisksToArray(const uint32_t* diskHandles, unsigned count);
RuleSet RulesForRaidLevelModify(const uint32_t* diskHandles, unsigned count);
RuleSet RulesForDiskMarkAsSpare(uint32_t diskHandle);
// No rule for metadata kind 2.
RuleSet RulesForVezkAccelerate(uint32_t diskHandle, int metadataKind);
RuleSet RulesForZrcRemapController(const std::vector<uint32_t>& controllerHandles);
RuleSet RulesForZrcRemapControllerAll();
RuleSet RulesForZrcRemapRevert(const std::vector<uint32_t>& controllerHandles);

} // namespace UviActionValidator

class ActionValidator {
public:
    // Runs every rule in order, whatever the earlier ones found. One violation is thrown as it
    // is; several are thrown as one error with the first one's code and every violation's texts,
    // numbered. A rule's std::exception counts as a violation 0xA0010010.
    static void Validate(Session& session, const UviActionValidator::RuleSet& rules);
};

// The first step of an action that validates: builds the rules, validates them, and runs the
// action only when they hold. What the validation throws becomes the result (a CConsolidatedError
// as itself, a std::exception as 0xA0010010 with its text); the action's own exceptions pass.
CConsolidatedError ValidateThenRun(Session& session,
                                   const std::function<UviActionValidator::RuleSet()>& buildRules,
                                   const std::function<CConsolidatedError()>& action);
