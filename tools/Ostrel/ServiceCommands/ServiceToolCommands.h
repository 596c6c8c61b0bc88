#pragma once
// The commands that install-time tooling and the pairing steps use on the cache product's two
// services: the file-system minifilter "KeplinAfs" and the cache service "KeplinAfsService".
#include "tools/Ostrel/ServiceCommands/ServiceCommand.h"

// argv: "startmode" and "boot" (boot start) or "ondemand" (demand start).
class MinifilterSetCommand : public ServiceCommand {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
};

class MinifilterStopCommand : public ServiceCommand {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
};

class MinifilterStartCommand : public ServiceCommand {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
};

// 0 when the minifilter can be opened, else the open's code (1060 when it is not installed).
class MinifilterExistsCommand : public ServiceCommand {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
};

class StopServiceCommand : public ServiceCommand {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
    std::wstring Help() const override { return L"Stop service using COM interface."; }
};

class StartServiceCommand : public ServiceCommand {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
    std::wstring Help() const override { return L"Start service using COM interface."; }
};

// argv: "startmode" and "boot" (automatic start) or "ondemand"; or "dependencies" and the names,
// ended by a null entry.
class ServiceSetCommand : public ServiceCommand {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
    std::wstring Help() const override;
};

// 0 when the cache service can be opened, else the open's code.
class CheckServiceExistsCommand : public ServiceCommand {
public:
    unsigned long Execute(int argc, wchar_t* argv[]) override;
};
