#pragma once
// Marks what the library exports to other programs; the build hides nothing by default, but the
// exported interface says so explicitly so a hidden-by-default build keeps it.
#define MOX_EXPORT __attribute__((visibility("default")))
// The same for an exported class whose values must not be dropped unread (a standard attribute
// cannot stand beside the GNU form in a class head).
#define MOX_EXPORT_NODISCARD [[nodiscard, gnu::visibility("default")]]
