#pragma once
// The one task of the accelerate and HalvexMemory modes: a list of actions run in order over one
// session. Kinds 1 to 9 are SSD acceleration, 10 to 16 cache-memory pairing.
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "cli/ConsoleOutput.h"
#include "cli/EndDevice.h"
#include "cli/Error.h"
#include "cli/ITaskFactory.h"
#include "cli/access/CliSession.h"
#include "cli/tasks/AccelerateTaskFactory.h"
#include "middleware/api/UviApi.h"

class UVIAccelerateAction;

namespace MOX {

class Controller;
class ConsoleRegion;
class PropertyFormatter;

// A percentage as its digits and "%"; "N/A" above 100, which the driver uses for not available.
std::string PercentToText(uint32_t percent);

class AccelerateTask : public ITask {
public:
    enum Kind : int32_t {
        CONFIGURE_VOLUME_ACCELERATION = 1,
        CONFIGURE_DISK_ACCELERATION = 2,
        DISASSOCIATE = 3,
        RESET_TO_AVAILABLE = 4,
        ACCELERATION_INFO = 5,
        LOAD_CACHE = 6,
        STATS = 7,
        DUMP_STATS = 8,
        CLEAR_STATS = 9,
        HALVEX_ENABLE = 10,
        HALVEX_START_TOOLS = 11,
        HALVEX_DISABLE = 12,
        HALVEX_PROGRESS = 13,
        HALVEX_INFO = 14,
        HALVEX_INFO_VERBOSE = 15,
        HALVEX_CLEAR_CACHE = 16,
    };

    struct Action {
        int32_t kind;
        std::vector<std::string> args;
    };

    // Throws std::runtime_error for a null printer. Asks the capable controllers to refresh their
    // partition information first, whatever comes of it.
    explicit AccelerateTask(std::shared_ptr<Printer> printer);
    ~AccelerateTask() override;
    AccelerateTask(const AccelerateTask&) = delete;
    AccelerateTask& operator=(const AccelerateTask&) = delete;

    Error run() override;

    void addAction(int32_t kind);
    void addAction(int32_t kind, std::string arg);
    void addAction(int32_t kind, std::string first, std::string second);
    void addLoadCacheAction(const std::vector<std::string>& args);
    const std::vector<Action>& getActions() const { return actions; }

    // ---- SSD acceleration ----
    Error configureVolumeAcceleration(const std::string& volumeName, const std::string& mode);
    Error configureDiskAcceleration(const std::string& diskId, const std::string& mode);
    Error disassociate(const std::string& cacheVolumeName);
    Error resetToAvailable(const std::string& cacheVolumeName);
    Error printAccelInfo();
    Error printAccelConfiguration(const _UVI_NvcInfo& cache, const Controller& controller);
    Error loadCache(const std::wstring& quiet, const std::wstring& recurse, const std::wstring& pattern);
    Error findAcceleratedController(uint32_t& controllerHandle);
    Error printStats();
    Error dumpStats();

    // ---- cache-memory pairing ----
    Error enableHalvex();
    Error waitEnable();
    Error verifyEnabled();
    // One refresh of the pairing operation's status: a new snapshot, then its display.
    Error refreshStatus(bool& inProgress);
    Error printOperationStatus(CliSession& on, bool& inProgress);
    Error disableHalvex();
    Error runDisableStep();
    Error printProgress();
    Error clearCache();
    // The clear-cache display, repainted from the timer's thread.
    void showClearCacheProgress(ConsoleRegion& region);
    Error printHalvexInfo(bool verbose);
    Error printSystemConfiguration(const _UVI_VezkInfo& pairing, bool verbose);
    void printDrive(const EndDevice& drive, PropertyFormatter& formatter);

    // The session of the run; the pairing waits replace it with a fresh snapshot at each refresh.
    CliSession session;
    std::vector<Action> actions;
    const double unsetSize = -std::numeric_limits<double>::infinity();
    const int32_t unsetNumber = -1;
    const std::string unsetText;
    std::string fastDriveId = unsetText;
    std::string accelDriveId = unsetText;
    bool rebootRequired = false;
    std::shared_ptr<Printer> printer;
    bool waitForCompletion = false;
    double blockCacheSizeGb = unsetSize;
    int32_t fileCacheSizeMb = unsetNumber;
    int32_t fileCacheOffset = unsetNumber;
    // Makes the acceleration facade each action step works through; a test puts a facade of its own
    // here. Shared ownership, so a derived facade is destroyed as what it is.
    std::function<std::shared_ptr<UVIAccelerateAction>()> makeFacade;

private:
    // Kinds 9 and 11: one facade call each, inside the run.
    Error clearStatistics();
    Error startTools();
};

} // namespace MOX
