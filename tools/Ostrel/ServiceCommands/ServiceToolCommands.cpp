#include "tools/Ostrel/ServiceCommands/ServiceToolCommands.h"

#include <cwchar>

#include "tools/Ostrel/ServiceCommands/CommandFailureReport.h"

namespace {

bool Is(const wchar_t* argument, const wchar_t* word) {
    return argument && std::wcscmp(argument, word) == 0;
}

// The start mode words: "boot" gives bootStart, "ondemand" demand start. Any other value is reported
// (as two lines or as one) and refused.
DWORD SetStartMode(ServiceControl& control, const wchar_t* value, DWORD bootStart, bool oneLine) {
    if (Is(value, L"boot"))
        return control.SetStartType(bootStart);
    if (Is(value, L"ondemand"))
        return control.SetStartType(SERVICE_DEMAND_START);
    CommandFailureReport report(L"Invalid value for option startmode.");
    if (oneLine)
        report.Append(L"Only boot and ondemand are allowed");
    else
        report.AddLine(L"Only boot and ondemand are allowed");
    return ERROR_INVALID_PARAMETER;
}

void ReportInvalidOption(bool oneLine) {
    CommandFailureReport report(L"Invalid option choosen for set command. ");
    for (const wchar_t* line : {L"The list of valid options:", L"\t startmode <boot|ondemand>"}) {
        if (oneLine)
            report.Append(line);
        else
            report.AddLine(line);
    }
}

} // namespace

unsigned long MinifilterSetCommand::Execute(int argc, wchar_t* argv[]) {
    VerboseLine(ExecuteSignature("MinifilterSetCommand"));
    // No option or no value: nothing to set.
    if (argc < 2 || !argv) {
        CommandFailureReport(L"Invalid usage. Please provide option and its value e.g.:");
        return ERROR_INVALID_PARAMETER;
    }
    if (Is(argv[0], L"startmode"))
        return SetStartMode(*control(), argv[1], SERVICE_BOOT_START, false);
    ReportInvalidOption(false);
    return ERROR_INVALID_PARAMETER;
}

unsigned long MinifilterStopCommand::Execute(int, wchar_t*[]) {
    VerboseLine(ExecuteSignature("MinifilterStopCommand"));
    return control()->Stop();
}

unsigned long MinifilterStartCommand::Execute(int, wchar_t*[]) {
    VerboseLine(ExecuteSignature("MinifilterStartCommand"));
    VerboseLine("Start Minifilter");
    return control()->Start();
}

unsigned long MinifilterExistsCommand::Execute(int, wchar_t*[]) {
    VerboseLine(ExecuteSignature("MinifilterExistsCommand"));
    return Init(kMinifilterServiceName);
}

unsigned long StopServiceCommand::Execute(int, wchar_t*[]) {
    return control()->Stop();
}

unsigned long StartServiceCommand::Execute(int, wchar_t*[]) {
    VerboseLine("Starting service");
    return control()->Start();
}

unsigned long ServiceSetCommand::Execute(int argc, wchar_t* argv[]) {
    VerboseLine(ExecuteSignature("ServiceSetCommand"));
    if (argc < 2 || !argv) {
        CommandFailureReport(L"Invalid usage. Please provide option and its value e.g.:")
            .AddLine(L"\t\"Ostrel.exe filter set startmode boot\"");
        return ERROR_INVALID_PARAMETER;
    }
    if (Is(argv[0], L"startmode"))
        return SetStartMode(*control(), argv[1], SERVICE_AUTO_START, true);
    if (Is(argv[0], L"dependencies"))
        return control()->SetDependencies(argv + 1);
    ReportInvalidOption(true);
    return ERROR_INVALID_PARAMETER;
}

std::wstring ServiceSetCommand::Help() const {
    return L"Set the way how service is tarted (ondemand or on boot)\nSyntax: Ostrel.exe [service|filter] "
           L"set "
           L"startmode [boot|ondemand]Syntax: Ostrel.exe [service|filter] dependencies <dependent service "
           L"name>";
}

unsigned long CheckServiceExistsCommand::Execute(int, wchar_t*[]) {
    VerboseLine(ExecuteSignature("CheckServiceExistsCommand"));
    return Init(kCacheServiceName);
}
