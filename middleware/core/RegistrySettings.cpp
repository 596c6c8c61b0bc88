#include "middleware/core/RegistrySettings.h"

#include "middleware/core/Registry.h"

LONG CachedRegistrySetting::setDword(DWORD value) {
    if (value == cached_.load())
        return ERROR_SUCCESS;
    const LONG result = WriteProductSettingDword(valueName_, value);
    if (result == ERROR_SUCCESS)
        cached_.store(value);
    return result;
}

LONG CachedRegistrySetting::setBool(bool value) {
    return setDword(value ? 1 : 0);
}

CachedRegistrySetting& HalvexStatusSetting() {
    static CachedRegistrySetting setting("HalvexStatus");
    return setting;
}

CachedRegistrySetting& IsHalvexEnabledSetting() {
    static CachedRegistrySetting setting("IsHalvexEnabled");
    return setting;
}

void ForgetCachedSettingsForTests() {
    HalvexStatusSetting().forgetForTests();
    IsHalvexEnabledSetting().forgetForTests();
}
