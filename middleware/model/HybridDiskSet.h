#pragma once
// The disks of one hybrid device: disks recognised as hybrid whose NVMe serial numbers share a
// prefix ("ABC123" of "ABC123-1" and "ABC123-2"), with the controllers they sit on.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "middleware/core/ConsolidatedError.h"

class Controller;
class Disk;

class HybridDiskSet {
public:
    explicit HybridDiskSet(std::string masterSerial) : m_MasterSerial(std::move(masterSerial)) {}

    // One candidate set per serial prefix of the controllers' hybrid disks (the empty prefix too),
    // members in controller and disk order.
    static std::vector<std::unique_ptr<HybridDiskSet>>
    build(const std::vector<std::shared_ptr<Controller>>& controllers);
    // The word characters directly before the first "-<digit>" of the disk's NVMe serial number;
    // empty without one.
    static std::string serialPrefix(const Disk& disk);

    // An empty master serial fails with 0xA0000004 "Master serial cannot be empty"; else takes the
    // handle of the master serial.
    CConsolidatedError Populate();
    void addMember(uint32_t diskHandle, uint32_t controllerHandle);

    uint32_t getHandle() const { return m_Handle; }
    const std::string& getMasterSerial() const { return m_MasterSerial; }
    // (disk handle, controller handle), in discovery order.
    const std::vector<std::pair<uint32_t, uint32_t>>& getMembers() const { return m_Members; }
    std::vector<uint32_t> getDiskHandles() const;
    // Ascending, without duplicates.
    std::vector<uint32_t> getControllerHandles() const;

private:
    uint32_t m_Handle = 0;
    std::string m_MasterSerial;
    std::vector<std::pair<uint32_t, uint32_t>> m_Members;
    std::set<uint32_t> m_ControllerHandles;
};
