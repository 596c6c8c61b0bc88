#pragma once
// Runs a UEFI shell application as a program of this machine: the firmware of the current machine
// (sim::Current(), from MOX_SIM_MACHINE and MOX_SIM_STATE) is built, the command line becomes the
// shell's arguments and the image's entry point is called. The console output goes to standard
// output as UTF-8 (a carriage return and line feed as one line feed, as a terminal shows it), keys
// come from standard input; what the firmware saw amiss (memory not freed, misuse) goes to standard
// error. Returns the process's exit code (sim::uefi::ExitCodeOf of the image's status).
#include "platform/uefi/UefiSystemTable.h"

namespace sim::uefi {

int RunShellApplication(EFI_IMAGE_ENTRY_POINT entry, const char* programName, int argc, char** argv);

} // namespace sim::uefi
