#pragma once
// The device path of a SCSI adapter by its number, "\\.\Scsi%d:".
#include <string>

std::wstring ScsiAdapterPath(int adapter);
