#include "tools/Ostrel/ServiceCommands/CommandFailureReport.h"

#include <cstdio>

#include "middleware/core/TextConversions.h"

CommandFailureReport& CommandFailureReport::AddLine(const std::wstring& line) {
    if (finished_)
        return *this;
    if (hasLine_)
        stream_ << L'\n';
    stream_ << line;
    hasLine_ = true;
    return *this;
}

CommandFailureReport& CommandFailureReport::Append(const std::wstring& text) {
    if (finished_)
        return *this;
    stream_ << text;
    hasLine_ = true;
    return *this;
}

void CommandFailureReport::Finish() {
    if (finished_)
        return;
    finished_ = true;
    if (CommandVerboseFlag()) {
        std::fputs((ToNarrowString(stream_.str()) + "\n").c_str(), stderr);
        std::fflush(stderr);
    }
    stream_.str(std::wstring());
}

bool& CommandVerboseFlag() {
    thread_local bool verbose = false;
    return verbose;
}

CommandFailureReport& ThreadCommandFailureReport() {
    thread_local CommandFailureReport report;
    return report;
}

void VerboseLine(const std::string& line) {
    if (!CommandVerboseFlag())
        return;
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string ExecuteSignature(const char* className) {
    return std::string("unsigned long __cdecl ") + className + "::Execute(int,wchar_t *[])";
}
