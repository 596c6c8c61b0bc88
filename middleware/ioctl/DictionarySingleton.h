#pragma once
// The process-wide cache of the driver's dictionary descriptions: for the raidport and the miniport
// view, which dictionaries the driver publishes and each published dictionary's field list. It is
// filled once, from the first controller it is asked for, and then serves every controller; a fill
// that fails leaves it unfilled, so the next use asks again.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/RaidDictionaryRequests.h"
#include "platform/win/WinTypes.h"

class CDictionarySingleton {
public:
    // The process's instance, made on first use; null when it cannot be made.
    static CDictionarySingleton* GetInstance();
    // Deletes the instance with its requests; the next GetInstance makes a new, unfilled one.
    static void Release();
    static bool IsFilled();

    // Fills the cache from the target (a controller record or an open adapter handle) unless it
    // is filled.
    CConsolidatedError Invoke(HANDLE target);

    // The supported-dictionaries answer of a view (kDictionaryRaidport or kDictionaryMiniport);
    // null before a fill got it.
    CIoctlSupportedDictionaries* GetSupported(uint32_t port) const;
    // The field-list answer of a view for a kind; null when the view does not publish the kind or
    // the fill did not get that far.
    CIoctlDictionaryFields* GetFields(uint32_t port, uint32_t kind) const;

private:
    CDictionarySingleton() = default;
    void Clear();

    // Index 0 raidport, 1 miniport; the field lists by kind in the order controller, end device,
    // port, phy, routing device.
    std::array<std::unique_ptr<CIoctlSupportedDictionaries>, 2> m_Supported;
    std::array<std::array<std::unique_ptr<CIoctlDictionaryFields>, 5>, 2> m_Fields;
};
