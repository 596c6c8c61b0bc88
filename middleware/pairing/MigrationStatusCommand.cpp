#include "middleware/pairing/MigrationStatusCommand.h"

#include <cstdio>
#include <cwchar>
#include <exception>
#include <memory>
#include <string>

#include "middleware/cacheservice/HalvexRpcConnection.h"
#include "middleware/core/TextConversions.h"
#include "tools/Ostrel/ServiceCommands/CommandFailureReport.h"
#include "tools/Ostrel/ServiceCommands/FileUtilities.h"

namespace {

constexpr uint64_t kBootTimeMigration = 4;
constexpr uint64_t kNoFile = ~0ull;

struct alignas(32) ReplyBuffer {
    uint8_t bytes[MigrationStatusReply::kBufferSize];
};

// Asks the service; the reply is read from `buffer` on success.
unsigned long Exchange(uint8_t* buffer) {
    uint8_t requestBytes[MigrationStatusRequest::kSize] = {};
    MigrationStatusRequest request(requestBytes);
    MigrationStatusReply reply(buffer);
    HalvexRpcMsgConnection connection;
    return connection.Send(request, reply);
}

void Line(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
}

const char* StateName(uint64_t state) {
    static const char* const names[] = {"IDLE", "RUNNING", "PAUSED", "RESTARTING", "BOOT TIME MIGRATION"};
    return state < 5 ? names[state] : "UNKNOWN";
}

std::string TimeText(uint64_t time) {
    return IsTimeAvailable(time) ? FormatFileTime(ToFileTime(time)) : "Not available";
}

void CandidateReport(const char* title, uint64_t fileId, uint64_t size, uint64_t left) {
    if (fileId == kNoFile)
        return;
    Line(title);
    try {
        Line("\tName: " + ToNarrowString(FileIdToPath(fileId)));
    } catch (const std::exception&) {
        char text[96];
        std::snprintf(text, sizeof text, "\tName: File with file id 0x%llx cannot be opened ",
                      static_cast<unsigned long long>(fileId));
        Line(text);
    }
    if (size == 0)
        return;
    Line("\tCandidate size: " + std::to_string(size) + " B");
    Line("\tCandidate size left: " + std::to_string(left) + " B");
    Line("\tProgress: " + std::to_string(MigrationProgress(left, size)) + " %");
}

void PrintReport(const MigrationStatusReplyData& d) {
    Line(std::string("Migration state: ") + StateName(d.state));
    if (d.state != kBootTimeMigration) {
        if (!IsTimeAvailable(d.lastOptimizationStart)) {
            Line("Last optimization start time: Not available");
            Line("Last optimization ended: Not available");
        } else {
            Line("Last optimization start time: " + TimeText(d.lastOptimizationStart));
            if (IsTimeAvailable(d.lastOptimizationEnd))
                Line("Last optimization ended: " + TimeText(d.lastOptimizationEnd));
        }
        if (d.state != 0)
            Line("Optimization in progress... Started at: " + TimeText(d.currentOrNextStart));
        else
            Line("Next optimization starts at: " + TimeText(d.currentOrNextStart));
    }
    if (d.batteryPercent == 255)
        Line("Battery level: unknown");
    else
        Line("Battery level (percent): " + std::to_string(d.batteryPercent));
    Line(std::string("AC Power: ") + (d.acPower ? "ON" : "OFF"));
    Line(std::string("High Power: ") + (d.highPower ? "TRUE" : "FALSE"));
    Line(std::string("Scheduler task running: ") + (d.schedulerTaskRunning ? "TRUE" : "FALSE"));
    if (d.state == 1 || d.state == 2) {
        Line("Migration phase ongoing ");
        CandidateReport("Cache insertion candidate:", d.insertionFileId, d.insertionSize,
                        d.insertionSizeLeft);
        CandidateReport("Cache eviction candidate:", d.evictionFileId, d.evictionSize, d.evictionSizeLeft);
        if (d.totalSizeToMigrate != 0) {
            Line("Total files' size to migrate: " + std::to_string(d.totalSizeToMigrate) + " B");
            Line("Files' size left to migrate: " + std::to_string(d.sizeLeftToMigrate) + " B");
            Line("Progress: " + std::to_string(MigrationProgress(d.sizeLeftToMigrate, d.totalSizeToMigrate)) +
                 " %");
        }
    }
    if (d.state == kBootTimeMigration) {
        Line("Total clusters to move: " + std::to_string(d.bootClustersTotal));
        Line("Clusters left to move: " + std::to_string(d.bootClustersLeft));
        Line("Total records to scan: " + std::to_string(d.bootRecordsTotal));
        Line("Records left to scan: " + std::to_string(d.bootRecordsLeft));
    }
    std::fflush(stdout);
}

} // namespace

uint64_t MigrationProgress(uint64_t left, uint64_t total) {
    // Wide enough that no size the service reports overflows the product.
    const unsigned __int128 done = static_cast<unsigned __int128>(left) * 100 / total;
    return done <= 100 ? 100 - static_cast<uint64_t>(done) : 100;
}

unsigned long MigrationStatusCommand::Execute(int argc, wchar_t* argv[]) {
    VerboseLine(ExecuteSignature("MigrationStatusCommand"));
    auto buffer = std::make_unique<ReplyBuffer>();
    if (unsigned long code = Exchange(buffer->bytes)) {
        CloseServiceContext();
        return code;
    }
    const MigrationStatusReplyData data = MigrationStatusReply(buffer->bytes).Data();
    state_ = data.state;
    if (state_ == kBootTimeMigration) {
        clustersTotal_ = data.bootClustersTotal;
        clustersLeft_ = data.bootClustersLeft;
        recordsTotal_ = data.bootRecordsTotal;
        recordsLeft_ = data.bootRecordsLeft;
    }
    const bool silent = argc > 0 && argv && argv[0] && std::wcscmp(argv[0], L"silent") == 0;
    if (!silent)
        PrintReport(data);
    CloseServiceContext();
    return 0;
}

CommandPtr CreateMigrationStatusCommand(int, wchar_t*[]) {
    return std::make_unique<MigrationStatusCommand>();
}

unsigned long MigrationStatusWithReplyCommand::Execute(int, wchar_t*[]) {
    VerboseLine(ExecuteSignature("MigrationStatusWithReplyCommand"));
    auto buffer = std::make_unique<ReplyBuffer>();
    const unsigned long code = Exchange(buffer->bytes);
    if (code == 0) {
        const MigrationStatusReplyData data = MigrationStatusReply(buffer->bytes).Data();
        lastOptimizationStart = ToFileTime(data.lastOptimizationStart);
        lastOptimizationEnd = ToFileTime(data.lastOptimizationEnd);
        currentOrNextOptimizationStart = ToFileTime(data.currentOrNextStart);
        running = data.state == 1;
    }
    CloseServiceContext();
    return code;
}
