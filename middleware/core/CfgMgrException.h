#pragma once
// The failure of a configuration manager call, or of reading what it answered.
#include <exception>
#include <string>

namespace MoxCfgMgr {

class CfgMgrException : public std::exception {
public:
    explicit CfgMgrException(const std::string& text);
    const char* what() const noexcept override;

private:
    std::string message_;
};

} // namespace MoxCfgMgr
