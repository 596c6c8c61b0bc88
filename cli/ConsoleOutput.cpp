#include "cli/ConsoleOutput.h"

#include <iostream>
#include <mutex>

#include "cli/ConsoleLock.h"

namespace MOX {

namespace {

// Pieces run to and including the next blank, so each line keeps the blank after its last word; a
// piece counts one more than its characters before the blank, and a line holds pieces whose counts
// add up to less than the width. A piece that does not fit starts a new line, also the first one.
void WriteWrapped(std::ostream& out, const std::string& text, uint64_t indent, uint64_t width) {
    uint64_t remaining = width;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t blank = text.find(' ', pos);
        const size_t end = blank == std::string::npos ? text.size() : blank + 1;
        const uint64_t counted = (blank == std::string::npos ? text.size() - pos : blank - pos) + 1;
        if (remaining <= counted) {
            out << '\n' << std::flush;
            remaining = width;
        }
        if (remaining == width)
            out << std::string(indent, ' ');
        out.write(text.data() + pos, static_cast<std::streamsize>(end - pos));
        remaining = remaining > counted ? remaining - counted : 0;
        pos = end;
    }
}

} // namespace

void ConsolePrinter::print(std::string text) {
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    std::cout << text;
}

void ConsolePrinter::printWrapped(std::string text, uint32_t indent, uint32_t width) {
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    if (width == 0) {
        if (!text.empty())
            std::cout << std::string(indent, ' ') << text;
    } else {
        WriteWrapped(std::cout, text, indent, width);
    }
    std::cout << '\n' << std::flush;
}

void PrintLine(std::string text) {
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    std::cout << '\n' << std::flush;
    std::cout << text << '\n' << std::flush;
}

void PrintWrapped(std::string text, uint64_t indent, uint64_t width) {
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    WriteWrapped(std::cout, text, indent, width);
}

} // namespace MOX
