#include "middleware/ioctl/DictionaryController.h"

CDictionaryController::CDictionaryController(uint32_t instanceIndex) : CDictionary(instanceIndex) {
    ControllerDictionaryValues& v = m_Values;
    AddField(m_Raidport, CONTROLLER_PCI_COMMON_CONFIG, v.pciCommonConfig, sizeof(v.pciCommonConfig),
             "Pci common config");
    AddField(m_Raidport, CONTROLLER_OROM_VERSION, v.oromVersion, sizeof(v.oromVersion), "OROM version");
    AddField(m_Raidport, CONTROLLER_DRIVER_VERSION, v.driverVersion, sizeof(v.driverVersion),
             "Driver version");
    AddField(m_Raidport, CONTROLLER_FEATURES_ENABLED, v.featuresEnabled, sizeof(v.featuresEnabled),
             "features enabled table");
    AddField(m_Miniport, CONTROLLER_MAX_PHYS_PER_PORT, &v.maxPhysPerPort, sizeof(v.maxPhysPerPort),
             "max phys per port");
    AddField(m_Raidport, CONTROLLER_CONTROLLER_TYPE, &v.controllerType, sizeof(v.controllerType),
             "controller type");
    AddField(m_Raidport, CONTROLLER_BUILD_TYPE, &v.buildType, sizeof(v.buildType), "build type");
    AddField(m_Raidport, CONTROLLER_HW_XOR_TYPE, &v.hwXorType, sizeof(v.hwXorType), "hw xor type");
    AddField(m_Raidport, CONTROLLER_FUA_ENABLED, &v.fuaEnabled, sizeof(v.fuaEnabled), "fua enabled");
    AddField(m_Raidport, CONTROLLER_PREBOOT_DRIVER_TYPE, &v.prebootDriverType, sizeof(v.prebootDriverType),
             "preboot driver type");
}
