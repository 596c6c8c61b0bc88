#include "middleware/core/CfgMgrDevPropertyValue.h"

#include <cstring>

#include "middleware/core/CfgMgrException.h"
#include "middleware/core/TextConversions.h"

namespace MoxCfgMgr {
namespace {

void Expect(const DevPropertyValue& v, int kind, const char* expected) {
    if (v.kind != kind)
        throw CfgMgrException(std::string("invalid type, expected ") + expected +
                              ", got : " + std::to_string(v.kind));
}

void ExpectSize(const DevPropertyValue& v, size_t minimum) {
    if (v.bytes.empty() || v.bytes.size() < minimum)
        throw CfgMgrException("value buffer size too small. Size : " + std::to_string(v.bytes.size()));
}

// The whole wide characters of the value; a trailing partial character is not one.
std::vector<wchar_t> WideChars(const std::vector<uint8_t>& bytes) {
    std::vector<wchar_t> chars(bytes.size() / sizeof(wchar_t));
    if (!chars.empty())
        std::memcpy(chars.data(), bytes.data(), chars.size() * sizeof(wchar_t));
    return chars;
}

} // namespace

std::wstring DevPropertyValue::asString() const {
    Expect(*this, kString, "wstring");
    ExpectSize(*this, 1);
    std::vector<wchar_t> chars = WideChars(bytes);
    std::wstring text(chars.begin(), chars.end());
    return text.substr(0, text.find(L'\0'));
}

uint32_t DevPropertyValue::asUint32() const {
    Expect(*this, kUint32, "uint32");
    ExpectSize(*this, sizeof(uint32_t));
    uint32_t value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

std::vector<std::wstring> DevPropertyValue::asStringList() const {
    Expect(*this, kStringList, "wstring list");
    ExpectSize(*this, 1);
    return MultiSzToStrings(WideChars(bytes));
}

bool DevPropertyValue::asBool() const {
    Expect(*this, kBoolean, "boolean");
    ExpectSize(*this, 1);
    return bytes[0] != 0;
}

} // namespace MoxCfgMgr
