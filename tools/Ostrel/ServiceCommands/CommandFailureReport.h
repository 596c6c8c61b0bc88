#pragma once
// Diagnostics of the service tool's commands. A failure is described in a report that is finished
// once; a finished report is written to standard error only when the thread's verbose flag is set,
// and discarded either way. Nothing in the product sets the flag, so these texts are diagnostics
// for whoever turns it on.
#include <sstream>
#include <string>

class CommandFailureReport {
public:
    CommandFailureReport() = default;
    // Starts the report with its first line.
    explicit CommandFailureReport(const std::wstring& line) { AddLine(line); }
    ~CommandFailureReport() { Finish(); }
    CommandFailureReport(const CommandFailureReport&) = delete;
    CommandFailureReport& operator=(const CommandFailureReport&) = delete;

    // Adds a line; lines are joined by line ends.
    CommandFailureReport& AddLine(const std::wstring& line);
    // Continues the current line.
    CommandFailureReport& Append(const std::wstring& text);
    std::wstring Text() const { return stream_.str(); }
    // Writes the text when verbose and empties the report; later calls write nothing more.
    void Finish();

private:
    std::wostringstream stream_;
    bool hasLine_ = false;
    bool finished_ = false;
};

// The calling thread's verbose flag (false until set).
bool& CommandVerboseFlag();
// The calling thread's own report, made empty on first use and finished when the thread ends.
CommandFailureReport& ThreadCommandFailureReport();
// Prints one line on standard output when the thread is verbose.
void VerboseLine(const std::string& line);
// The signature text a command prints first when verbose:
// "unsigned long __cdecl <class>::Execute(int,wchar_t *[])".
std::string ExecuteSignature(const char* className);
