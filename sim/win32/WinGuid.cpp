#include "platform/win/WinGuid.h"

namespace {

constexpr int kGuidTextChars = 39;

wchar_t* PutHex(wchar_t* out, uint64_t value, int digits) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i)
        *out++ = kDigits[(value >> (4 * i)) & 0xF];
    return out;
}

} // namespace

int StringFromGUID2(const GUID& guid, LPOLESTR buffer, int cchMax) {
    if (!buffer || cchMax < kGuidTextChars)
        return 0;
    wchar_t* p = buffer;
    *p++ = L'{';
    p = PutHex(p, guid.Data1, 8);
    *p++ = L'-';
    p = PutHex(p, guid.Data2, 4);
    *p++ = L'-';
    p = PutHex(p, guid.Data3, 4);
    *p++ = L'-';
    p = PutHex(p, guid.Data4[0], 2);
    p = PutHex(p, guid.Data4[1], 2);
    *p++ = L'-';
    for (int i = 2; i < 8; ++i)
        p = PutHex(p, guid.Data4[i], 2);
    *p++ = L'}';
    *p = L'\0';
    return kGuidTextChars;
}
