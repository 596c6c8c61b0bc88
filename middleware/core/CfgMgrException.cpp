#include "middleware/core/CfgMgrException.h"

namespace MoxCfgMgr {

CfgMgrException::CfgMgrException(const std::string& text) : message_("[CfgMgrException] " + text) {}

const char* CfgMgrException::what() const noexcept {
    return message_.c_str();
}

} // namespace MoxCfgMgr
