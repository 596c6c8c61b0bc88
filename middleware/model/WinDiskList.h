#pragma once
// The Windows view of every disk Windows presents, built once while a session populates, and the one
// question the topology model asks of it: which Windows disk is this driver object?
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/CfgMgrInterfaces.h"
#include "middleware/core/ConsolidatedError.h"
#include "middleware/model/WinDiskInterface.h"

class WinDiskList {
public:
    using const_iterator = std::vector<WinDiskInterface>::const_iterator;

    explicit WinDiskList(std::shared_ptr<MoxCfgMgr::IDevEnumerator> enumerator);

    // Fills the list once; disks whose view cannot be read (USB disks among them) are left out, and
    // an enumeration failure leaves a shorter list. Always succeeds.
    CConsolidatedError Populate();
    // A copy of the first entry that has this serial number or, failing that, this address; entries
    // are tried in order, each by serial number first. Null without a match.
    std::unique_ptr<WinDiskInterface> find(const std::string& serialNumber, PackedScsiAddress address) const;

    const_iterator begin() const { return m_Entries.begin(); }
    const_iterator end() const { return m_Entries.end(); }

private:
    std::shared_ptr<MoxCfgMgr::IDevEnumerator> m_Enumerator;
    std::vector<WinDiskInterface> m_Entries;
};

// The enumerator a session gives its list: the present device interfaces of the disk class.
std::shared_ptr<MoxCfgMgr::IDevEnumerator> MakeWinDiskEnumerator();
