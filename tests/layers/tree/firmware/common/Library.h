#pragma once
// A C++ library header in a freestanding folder.
#include <stdint.h>
#include <vector>
