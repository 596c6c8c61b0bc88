#include "tools/Ostrel/ServiceCommands/ServiceCommand.h"

#include "tools/Ostrel/ServiceCommands/CommandFailureReport.h"

DWORD ServiceCommand::Init(const wchar_t* serviceName) {
    control_ = std::make_unique<ServiceControl>();
    if (DWORD error = control_->Open(serviceName)) {
        control_.reset();
        CommandFailureReport(L"Error initializing service.");
        return error;
    }
    return ERROR_SUCCESS;
}
