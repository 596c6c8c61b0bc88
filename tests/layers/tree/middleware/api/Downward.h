#pragma once
// Down the order only: allowed.
#include <vector>

#include "middleware/model/Session.h"
#include "middleware/pairing/BootMigration.h"
#include "platform/win/WinTypes.h"
