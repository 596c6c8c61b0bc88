#include "sim/uefi/ShellHost.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "sim/uefi/Firmware.h"
#include "sim/uefi/FirmwareState.h"

namespace sim::uefi {
namespace {

// Standard output as a terminal shows the console: a carriage return right before a line feed is
// dropped (the pair may arrive in two writes), any other character is written as UTF-8.
class TerminalSink {
public:
    void Write(std::u16string_view text) {
        std::u16string out;
        for (char16_t c : text) {
            if (pendingReturn_) {
                pendingReturn_ = false;
                if (c != u'\n')
                    out += u'\r';
            }
            if (c == u'\r')
                pendingReturn_ = true;
            else
                out += c;
        }
        const std::string bytes = Utf8FromUcs2(out);
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        std::fflush(stdout);
    }

    ~TerminalSink() {
        if (pendingReturn_)
            std::fputc('\r', stdout);
        std::fflush(stdout);
    }

private:
    bool pendingReturn_ = false;
};

std::optional<EFI_INPUT_KEY> KeyFromStandardInput() {
    const int c = std::getchar();
    if (c == EOF)
        return std::nullopt;
    // Enter gives a carriage return on a UEFI keyboard.
    return EFI_INPUT_KEY{0, static_cast<CHAR16>(c == '\n' ? u'\r' : static_cast<unsigned char>(c))};
}

} // namespace

int RunShellApplication(EFI_IMAGE_ENTRY_POINT entry, const char* programName, int argc, char** argv) {
    try {
        TerminalSink terminal;
        Firmware firmware;
        std::vector<std::string> arguments{programName};
        for (int i = 1; i < argc; ++i)
            arguments.push_back(argv[i]);
        firmware.SetArguments(arguments);
        firmware.OnConsoleOutput([&](std::u16string_view text) { terminal.Write(text); });
        firmware.OnKeyNeeded(KeyFromStandardInput);

        const EFI_STATUS status = entry(firmware.ImageHandle(), firmware.SystemTable());

        for (const std::string& problem : firmware.Problems())
            std::fprintf(stderr, "simulated firmware: %s\n", problem.c_str());
        if (firmware.AllocationsNotFreed() != 0)
            std::fprintf(stderr, "simulated firmware: %zu allocations (%zu bytes) not freed\n",
                         firmware.AllocationsNotFreed(), firmware.BytesNotFreed());
        if (const size_t opens = firmware.OpenRecordsOf(firmware.ImageHandle()))
            std::fprintf(stderr, "simulated firmware: %zu protocols the image opened are not closed\n",
                         opens);
        return ExitCodeOf(status);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", programName, e.what());
        return 1;
    }
}

} // namespace sim::uefi
