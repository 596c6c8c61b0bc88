#pragma once
// The cache service's migration status: printed on the console by MigrationStatusCommand (or, with
// the single argument "silent", only kept for the pairing state), and handed to the optimisation
// information by MigrationStatusWithReplyCommand.
#include <cstdint>

#include "platform/win/WinFiles.h"
#include "tools/Ostrel/ServiceCommands/Command.h"

class MigrationStatusCommand : public Command {
public:
    // 0 or the code of the exchange (nothing printed then).
    unsigned long Execute(int argc, wchar_t* argv[]) override;

    uint64_t state() const { return state_; }
    // Filled only when the state is 4 (boot-time migration).
    uint64_t clustersTotal() const { return clustersTotal_; }
    uint64_t clustersLeft() const { return clustersLeft_; }
    uint64_t recordsTotal() const { return recordsTotal_; }
    uint64_t recordsLeft() const { return recordsLeft_; }

private:
    uint64_t state_ = 0;
    uint64_t clustersTotal_ = 0;
    uint64_t clustersLeft_ = 0;
    uint64_t recordsTotal_ = 0;
    uint64_t recordsLeft_ = 0;
};

CommandPtr CreateMigrationStatusCommand(int argc, wchar_t* argv[]);

class MigrationStatusWithReplyCommand {
public:
    // Arguments are not read. 0 (the fields filled) or the code of the exchange.
    unsigned long Execute(int argc, wchar_t* argv[]);

    FILETIME lastOptimizationStart{};
    FILETIME lastOptimizationEnd{};
    FILETIME currentOrNextOptimizationStart{};
    bool running = false;
};

// The percentage done of a (left, total) pair with total not 0: 100 - left * 100 / total, and 100
// when more is left than there was.
uint64_t MigrationProgress(uint64_t left, uint64_t total);
