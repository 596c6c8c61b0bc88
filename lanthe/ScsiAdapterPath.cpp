#include "lanthe/ScsiAdapterPath.h"

#include <cwchar>

std::wstring ScsiAdapterPath(int adapter) {
    // MAX_PATH characters, as the adapter paths have always been formatted.
    wchar_t path[260];
    std::swprintf(path, sizeof path / sizeof path[0], L"\\\\.\\Scsi%d:", adapter);
    return path;
}
