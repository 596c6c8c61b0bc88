#pragma once
// The process-wide direct mode: set once when the driver refuses the miniport framing of the RAID
// get/set request or of the capabilities request, and never cleared. While it is set those two
// families frame their requests the direct way.
bool IsIoctlDirectMode();
// Sets the mode; true for the call that set it first.
bool SetIoctlDirectMode();
// Clears the mode as a new process finds it. Tests only.
void ResetIoctlDirectModeForTests();
