#pragma once
// The values of one dictionary of one controller, as both views (raidport and miniport) report
// them: per view a copy of the instance blocks, the instance count, the field count and the sum of
// the fields' value sizes. The field lists come from the process-wide dictionary cache.
#include <cstdint>
#include <vector>

#include "middleware/core/ConsolidatedError.h"
#include "platform/win/WinTypes.h"

class CDictionaryBuffer {
public:
    // target: a controller record or an open adapter handle; kind: the dictionary (its bit). The
    // field counts start as the catalogue's rows of each view.
    CDictionaryBuffer(HANDLE target, uint32_t kind);

    // Reads the raidport view, then, when that worked, the miniport view.
    CConsolidatedError Invoke();
    // Reads one view (kDictionaryRaidport or kDictionaryMiniport). A view that does not publish
    // the kind is left as it was.
    CConsolidatedError GetData(uint32_t port);

    HANDLE GetTarget() const { return m_Target; }
    uint32_t GetKind() const { return m_Kind; }
    // The instance count of the view read last.
    uint32_t GetInstanceCount() const { return m_InstanceCount; }

    // Per view (kDictionaryRaidport or kDictionaryMiniport).
    const std::vector<uint8_t>& GetValues(uint32_t port) const;
    uint32_t GetInstanceCount(uint32_t port) const;
    uint32_t GetTotalFieldTypeSize(uint32_t port) const;
    uint32_t GetFieldCount(uint32_t port) const;

private:
    struct View {
        std::vector<uint8_t> values;
        uint32_t instanceCount = 0;
        uint32_t totalFieldTypeSize = 0;
        uint32_t fieldCount = 0;
    };
    View& ViewOf(uint32_t port);
    const View& ViewOf(uint32_t port) const;

    HANDLE m_Target;
    uint32_t m_Kind;
    uint32_t m_InstanceCount = 0;
    View m_Raidport;
    View m_Miniport;
};
