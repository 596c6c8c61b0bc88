#pragma once
// The source of an NVMe disk. After a health event with a non-zero information byte it keeps
// watching with 60-second waits: repeats of the same byte are swallowed, a different one is
// delivered, and a minute of silence delivers a record with second data word 1 and returns the
// source to waiting without time-out.
#include "middleware/model/Source.h"

namespace UviEvents {

class SourceNvme : public Source {
public:
    static constexpr uint32_t kPollMs = 60000;

    using Source::Source;
    ~SourceNvme() override;

    void run() override;

private:
    // Waits for a change of the information byte held in status; the code to deliver.
    uint32_t poll(DeviceStatus& status);

    bool m_Pending = false;
    bool m_Polling = false;
};

} // namespace UviEvents
