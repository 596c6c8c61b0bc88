#pragma once
// One verb of the cache product's service tool: made by its factory, executed once with the tool's
// argument count and vector, deleted by its caller.
#include <memory>
#include <string>

class Command {
public:
    // A Win32 error code, 0 on success.
    virtual unsigned long Execute(int argc, wchar_t* argv[]) = 0;
    virtual std::wstring Help() const { return L"No help for that option"; }
    virtual ~Command() = default;
};

using CommandPtr = std::unique_ptr<Command>;
using CommandFactory = CommandPtr (*)(int argc, wchar_t* argv[]);
