// The library's own version record.
#include <cstring>

#include "middleware/api/UviSystemRecords.h"

namespace {

constexpr uint32_t kMajor = 20;
constexpr uint32_t kMinor = 1;
constexpr uint32_t kRevision = 0;
constexpr uint32_t kBuild = 1007;
constexpr const char* kVersionText = "20.1.0.1007";

} // namespace

extern "C" MOX_EXPORT _UVI_MiddlewareVersionInfo UviGetMiddlewareVersionInfo() {
    _UVI_MiddlewareVersionInfo info;
    std::memset(&info, 0, sizeof info);
    std::strncpy(info.versionText, kVersionText, sizeof info.versionText - 1);
    info.recordVersion = 1;
    info.major = kMajor;
    info.minor = kMinor;
    info.revision = kRevision;
    info.build = kBuild;
    return info;
}
