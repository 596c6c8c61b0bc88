// A state changed past the description checks (by hand or by another tool) so that a service cannot
// read it fails the platform call with ERROR_INVALID_DATA in the call's own form; nothing the
// simulator's JSON library throws reaches the caller.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/win/WinBase.h"
#include "platform/win/WinCfgMgr.h"
#include "platform/win/WinError.h"
#include "platform/win/WinFiles.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinService.h"
#include "sim/Machine.h"
#include "tests/tools/Ostrel/ServiceCommands/ServiceTestMachine.h"

namespace {

struct Case {
    const char* name;
    const char* pointer;   // where the state is broken
    const char* valueJson; // with a value of a form the service does not read
    // The call; returns the error it reports (its result, or the last error of a failed call).
    std::function<DWORD()> call;
};

DWORD LastErrorUnless(bool ok) {
    return ok ? ERROR_SUCCESS : GetLastError();
}

TEST(UnreadableState, FailsTheCallWithInvalidData) {
    const Case cases[] = {
        {"device tree: a node's id is a number", "/devices/nodes/0/id", "5",
         [] {
             DEVINST node = 0;
             wchar_t id[] = L"ACPI_HAL\\PNP0C08\\0";
             return CM_Locate_DevNodeW(&node, id, 0) == CR_INVALID_DATA ? ERROR_INVALID_DATA
                                                                        : ERROR_GEN_FAILURE;
         }},
        {"files: the section is a list", "/files", "[]",
         [] { return LastErrorUnless(DeleteFileW(L"C:\\Orvex\\usage_stats.db")); }},
        {"service control: elevation is a text", "/os/elevated", R"("yes")",
         [] {
             SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
             const DWORD error = manager ? ERROR_SUCCESS : GetLastError();
             CloseServiceHandle(manager);
             return error;
         }},
        {"registry: elevation is a text", "/os/elevated", R"("yes")",
         [] {
             const DWORD one = 1;
             return static_cast<DWORD>(RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvex", L"Level",
                                                       REG_DWORD, &one, sizeof one));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ScopedMachine machine(servicetest::Machine());
        machine->SetValue(c.pointer, sim::Value::parse(c.valueJson));
        DWORD error = ERROR_SUCCESS;
        EXPECT_NO_THROW(error = c.call());
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_DATA));
    }
}

} // namespace
