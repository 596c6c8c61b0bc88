#include "middleware/ioctl/Dictionary.h"

#include <algorithm>
#include <cstring>

#include "middleware/ioctl/DictionaryBuffer.h"
#include "middleware/ioctl/DictionaryCatalogue.h"
#include "middleware/ioctl/DictionarySingleton.h"

namespace {

uint32_t Word(const uint8_t* p) {
    uint32_t v = 0;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

CConsolidatedError Error(KEDO2_ERRORS code, const char* message, const std::string& debug) {
    CConsolidatedError e;
    if (debug.empty())
        e.SetError(code, message);
    else
        e.SetError(code, message, debug.c_str());
    return e;
}

} // namespace

CConsolidatedError CDictionary::Invoke() {
    return CConsolidatedError();
}

CConsolidatedError CDictionary::PointToInstance(const CDictionaryBuffer& buffer) {
    SetValid(0);
    const uint32_t i = m_InstanceIndex;
    const uint32_t m =
        std::min(buffer.GetInstanceCount(kDictionaryRaidport), buffer.GetInstanceCount(kDictionaryMiniport));
    if (m != 0 && i >= m) {
        CConsolidatedError e;
        e.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, nullptr,
                   "Index out of bounds in CDictionary::PointToInstance");
        e.AddErrorMessage("Index out of bounds. Index %u is greater than 0-based maximum instances (%u)", i,
                          m);
        return e;
    }

    struct Block {
        const uint8_t* data = nullptr;
        size_t size = 0;
        uint32_t count = 0;
    };
    auto blockOf = [&](uint32_t port) {
        Block b;
        const uint32_t total = buffer.GetTotalFieldTypeSize(port);
        const uint32_t fields = buffer.GetFieldCount(port);
        const std::vector<uint8_t>& values = buffer.GetValues(port);
        const uint64_t size = uint64_t{total} + 8ull * fields;
        const uint64_t start = uint64_t{i} * size;
        if (total == 0 || start + size > values.size())
            return b;
        b.data = values.data() + start;
        b.size = static_cast<size_t>(size);
        b.count = fields;
        return b;
    };
    const Block raidport = blockOf(kDictionaryRaidport);
    const Block miniport = blockOf(kDictionaryMiniport);

    CDictionarySingleton* cache = CDictionarySingleton::GetInstance();
    CIoctlSupportedDictionaries* raidSupported = cache ? cache->GetSupported(kDictionaryRaidport) : nullptr;
    CIoctlSupportedDictionaries* miniSupported = cache ? cache->GetSupported(kDictionaryMiniport) : nullptr;
    if (!raidSupported || !miniSupported)
        return CConsolidatedError(CConsolidatedError::GENERAL_INSUFF_MEM);
    try {
        const char* busy = "Driver busy on Controller Dictionary Invoke";
        if ((raidSupported->GetSupportedMask() & GetKind()) && !raidport.data)
            return Error(CConsolidatedError::DRIVER_BUSY, busy, std::string());
        if ((miniSupported->GetSupportedMask() & GetKind()) && !miniport.data)
            return Error(CConsolidatedError::DRIVER_BUSY, busy, std::string());
    } catch (const CConsolidatedError& e) {
        return e;
    }

    CConsolidatedError result;
    if (raidport.data) {
        result = readDictionaryFields(raidport.data, raidport.size, raidport.count, GetRaidportFields());
        if (result.IsError())
            return result;
    }
    if (miniport.data) {
        result = readDictionaryFields(miniport.data, miniport.size, miniport.count, GetMiniportFields());
        if (result.IsError())
            return result;
    }
    result = Invoke();
    if (result.IsError())
        return result;
    SetValid(1);
    return result;
}

CConsolidatedError CDictionary::readDictionaryFields(const uint8_t* block, size_t blockSize, uint32_t count,
                                                     const FieldMap& map) {
    size_t at = 0;
    for (uint32_t n = 0; n < count; ++n) {
        if (blockSize - at < 8)
            return Error(CConsolidatedError::DRIVER_UNEXPECTED, "Dictionary entry outside the instance block",
                         "Field header outside the instance block in CDictionary::readDictionaryFields");
        const uint32_t id = Word(block + at);
        const uint32_t size = DictionaryTypeSize(Word(block + at + 4));
        at += 8;
        if (blockSize - at < size)
            return Error(CConsolidatedError::DRIVER_UNEXPECTED, "Dictionary entry outside the instance block",
                         "Field value outside the instance block in CDictionary::readDictionaryFields");
        if (auto it = map.find(id); it != map.end()) {
            CConsolidatedError result = readDictionaryField(it->second, block + at, size);
            if (result.IsError())
                return result;
        }
        at += size;
    }
    return CConsolidatedError();
}

CConsolidatedError CDictionary::readDictionaryField(const FieldEntry& entry, const uint8_t* value,
                                                    uint32_t length) {
    if (entry.capacity < length)
        return Error(CConsolidatedError::GENERAL_INVALID_VALUE, "Invalid Field Size",
                     "Invalid field size for " + entry.name + "in CDictionary::readDictionaryField");
    if (!entry.destination)
        return Error(CConsolidatedError::UVI_INTERNALERROR, "Structure not initialized",
                     "Memory not allocated for " + entry.name + "in CDictionary::readDictionaryField");
    if (length != 0)
        std::memcpy(entry.destination, value, length);
    return CConsolidatedError();
}
