#pragma once
// One guarded read-modify-write of the remap request variable. Making the proxy enters the
// cross-process section "Global\MoxZrcRemapBiosVariable" (never waiting: a second caller, in this
// process or another, is refused at once), enables SeSystemEnvironmentPrivilege and reads the
// variable into the record; the record can then be changed and written. Destroying the proxy gives
// the privilege back and then leaves the section, on every path.
#include <memory>
#include <string>

#include "middleware/model/ZrcRemapBiosVariable.h"
#include "middleware/core/NamedCriticalSection.h"
#include "middleware/core/SystemPrivilege.h"

class ZrcRemapBiosVarProxy : public ZrcRemapBiosVariable {
public:
    static constexpr const wchar_t* kVariableGuid = L"{61a14fe8-4dab-4a19-b1e3-97fb23d09212}";
    static constexpr const wchar_t* kVariableName = L"OrvexZrcOsVariable";
    static constexpr const char* kSectionName = "Global\\MoxZrcRemapBiosVariable";

    // Throws CConsolidatedError: the section's own error when it cannot be entered, 0xA0010072 when
    // the variable cannot be read (a missing one, or one larger than the record), 0xA0010075 when it
    // is shorter than the record. Nothing is held after a throw.
    ZrcRemapBiosVarProxy();
    virtual ~ZrcRemapBiosVarProxy();
    ZrcRemapBiosVarProxy(const ZrcRemapBiosVarProxy&) = delete;
    ZrcRemapBiosVarProxy& operator=(const ZrcRemapBiosVarProxy&) = delete;

    // Writes the whole record in one call; throws 0xA0010073 when the variable cannot be written.
    void write();

private:
    std::wstring guid_;
    std::wstring name_;
    std::string sectionName_;
    NamedCriticalSection section_;
    // Declared after the section, so it is given back before the section is left.
    std::unique_ptr<SystemPrivilege> privilege_;
};
