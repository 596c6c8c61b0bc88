#pragma once
// Writer of Windows event-log entries under the source "MOX Middleware". The texts of the entries
// live in the source's message file, installed with the product: a writer only picks the event id,
// type and category and supplies the insertion strings. It never fails visibly.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

// Kind: 0 success, 2 warning, 3 error, 4 audit success, 5 audit failure, anything else information.
// Flag: 0 gives category 1, anything else category 0. Event index: 0 to 24 (see the table in
// EventLogger.cpp); any other index gives event id 0.
class IEventLogger {
public:
    virtual ~IEventLogger() = default;
    // From now on the base name of the program's file is the last insertion string of every entry.
    virtual IEventLogger& attachProcessName() = 0;
    virtual void log(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                     const std::vector<std::string>& strings) = 0;
    virtual void log(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                     const std::vector<std::wstring>& strings) = 0;
    virtual void logStrings(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                            const std::vector<std::string>& strings) = 0;
    virtual void logStrings(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                            const std::vector<std::wstring>& strings) = 0;
    virtual void log(uint32_t kind, uint32_t flag, uint32_t eventIndex) = 0;
};

class MoxMwEventLogger : public IEventLogger {
public:
    // A logger whose source is registered on the local computer; when registration fails it writes
    // nothing.
    static std::unique_ptr<IEventLogger> create();
    ~MoxMwEventLogger() override;
    MoxMwEventLogger(const MoxMwEventLogger&) = delete;
    MoxMwEventLogger& operator=(const MoxMwEventLogger&) = delete;

    IEventLogger& attachProcessName() override;
    void log(uint32_t kind, uint32_t flag, uint32_t eventIndex,
             const std::vector<std::string>& strings) override;
    void log(uint32_t kind, uint32_t flag, uint32_t eventIndex,
             const std::vector<std::wstring>& strings) override;
    void logStrings(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                    const std::vector<std::string>& strings) override;
    void logStrings(uint32_t kind, uint32_t flag, uint32_t eventIndex,
                    const std::vector<std::wstring>& strings) override;
    void log(uint32_t kind, uint32_t flag, uint32_t eventIndex) override;

    // The event id of an event index; 0 for an index outside the table.
    static DWORD EventId(uint32_t eventIndex);

private:
    MoxMwEventLogger();

    HANDLE source_ = nullptr;
    std::wstring processName_;
};
