#include "middleware/ioctl/DictionaryBuffer.h"

#include "middleware/ioctl/DictionaryCatalogue.h"
#include "middleware/ioctl/DictionarySingleton.h"

namespace {

CConsolidatedError NullFromCache(const char* message) {
    CConsolidatedError e;
    e.SetError(CConsolidatedError::IOCTL_IOCTL_ERROR, message);
    return e;
}

} // namespace

CDictionaryBuffer::CDictionaryBuffer(HANDLE target, uint32_t kind) : m_Target(target), m_Kind(kind) {
    m_Raidport.fieldCount = DictionaryCatalogueCount(kind, kDictionaryRaidport);
    m_Miniport.fieldCount = DictionaryCatalogueCount(kind, kDictionaryMiniport);
}

CDictionaryBuffer::View& CDictionaryBuffer::ViewOf(uint32_t port) {
    return port == kDictionaryMiniport ? m_Miniport : m_Raidport;
}

const CDictionaryBuffer::View& CDictionaryBuffer::ViewOf(uint32_t port) const {
    return port == kDictionaryMiniport ? m_Miniport : m_Raidport;
}

const std::vector<uint8_t>& CDictionaryBuffer::GetValues(uint32_t port) const {
    return ViewOf(port).values;
}

uint32_t CDictionaryBuffer::GetInstanceCount(uint32_t port) const {
    return ViewOf(port).instanceCount;
}

uint32_t CDictionaryBuffer::GetTotalFieldTypeSize(uint32_t port) const {
    return ViewOf(port).totalFieldTypeSize;
}

uint32_t CDictionaryBuffer::GetFieldCount(uint32_t port) const {
    return ViewOf(port).fieldCount;
}

CConsolidatedError CDictionaryBuffer::Invoke() {
    CConsolidatedError result = GetData(kDictionaryRaidport);
    if (result.IsError())
        return result;
    return GetData(kDictionaryMiniport);
}

CConsolidatedError CDictionaryBuffer::GetData(uint32_t port) {
    CDictionarySingleton* cache = CDictionarySingleton::GetInstance();
    if (!cache)
        return CConsolidatedError(CConsolidatedError::GENERAL_INSUFF_MEM);
    CConsolidatedError result = cache->Invoke(m_Target);
    if (result.IsError())
        return result;

    CIoctlSupportedDictionaries* supported = cache->GetSupported(port);
    if (!supported)
        return NullFromCache("CDictionarySingleton instance returned null getting supported Raidport "
                             "dictionaries in CDictionaryBuffer::GetData");
    View& view = ViewOf(port);
    try {
        if (!(supported->GetSupportedMask() & m_Kind))
            return CConsolidatedError();
        CIoctlDictionaryFields* fields = cache->GetFields(port, m_Kind);
        if (!fields)
            return NullFromCache("CDictionarySingleton instance returned null getting Raidport fields in "
                                 "CDictionaryBuffer::GetData");
        const uint32_t numFields = fields->GetNumberOfFields();
        const DICTIONARY_FIELD_DESCRIPTOR* descriptors = fields->GetDictionaryFieldsDataBuffer();
        uint64_t total = 0;
        for (uint32_t i = 0; i < numFields; ++i)
            total += DictionaryTypeSize(descriptors[i].TypeCode);
        view.fieldCount = numFields;
        // At most 122 fields of at most 512 bytes each: the sum always fits.
        view.totalFieldTypeSize = static_cast<uint32_t>(total);

        CIoctlDictionaryValues values(m_Target, m_Kind, fields->GetNumberOfInstances(), numFields,
                                      view.totalFieldTypeSize);
        values.SetVerifyOnInvoke(true);
        values.setDictionaryFields(descriptors);
        result = values.Invoke();
        if (result.IsError()) {
            result.AddDebugInformation("Error on invoking DictionaryGetValues IOCTL for fields in "
                                       "CDictionaryBuffer::GetData");
            return result;
        }
        view.instanceCount = values.GetNumberOfInstances();
        const BYTE* data = values.GetValuesBuffer();
        view.values.assign(data, data + values.GetValuesSize());
        m_InstanceCount = view.instanceCount;
    } catch (const CConsolidatedError& e) {
        return e;
    }
    return CConsolidatedError();
}
