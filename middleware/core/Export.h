#pragma once
// Marks what the library exports to other programs; the build hides nothing by default, but the
// exported interface says so explicitly so a hidden-by-default build keeps it.
#define MOX_EXPORT __attribute__((visibility("default")))
