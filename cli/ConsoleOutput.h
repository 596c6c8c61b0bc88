#pragma once
// How the command line writes: the printer that tasks and formatters use, the line printer of result
// records and messages, and the word wrapper of the help.
#include <cstdint>
#include <string>

namespace MOX {

class Printer {
public:
    virtual void print(std::string text) = 0;
    // Writes the text word-wrapped and ends it with a line break.
    virtual void printWrapped(std::string text, uint32_t indent, uint32_t width) = 0;

protected:
    // Printers are held by shared pointers made from the concrete class, never deleted through here.
    ~Printer() = default;
};

class ConsolePrinter : public Printer {
public:
    void print(std::string text) override;
    void printWrapped(std::string text, uint32_t indent, uint32_t width) override;
};

// An empty line, then the text and a line break, flushed.
void PrintLine(std::string text);
// Word-wrapped text with no line break after the last word.
void PrintWrapped(std::string text, uint64_t indent, uint64_t width);

} // namespace MOX
