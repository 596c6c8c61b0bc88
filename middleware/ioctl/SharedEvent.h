#pragma once
// The volume port's shared event: registering the name of an event the driver signals when its
// configuration changes, and reading the driver's event status (its event counter and the value
// passed on with the event). Both are checked miniport requests of 80 bytes whose answers need only
// the header; neither is verified inside the invoke nor resent when the driver is busy.
#include <cstdint>
#include <cstring>

#include "middleware/ioctl/CIoctScsiMiniport.h"
#include "middleware/ioctl/VezkRecords.h"

class CIoctlSharedEvent : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlSharedEvent")

public:
    static constexpr size_t kNameBytes = 32;
    // Keeps the first 32 bytes of the name (a shorter one zero-padded).
    CIoctlSharedEvent(HANDLE target, const char* name);

protected:
    CConsolidatedError _realFormatInputBuffer() override;

private:
    char m_Name[kNameBytes] = {};
};

class CIoctlSharedEventStatus : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class CIoctlSharedEventStatus")

public:
    explicit CIoctlSharedEventStatus(HANDLE target);

    // The answer as it stands after a successful invoke (zeros without one): the 16 bytes of event
    // data, the event counter (their first 8 bytes), and the value passed on with the event.
    void GetEventData(uint8_t data[16]) const;
    uint64_t GetEventCounter() const;
    uint64_t GetEventValue() const;
};
