#include "firmware/moxzrcinfo/Groups.h"

MOX_GROUP gGroups[MOX_GROUP_COUNT] = {
    {"System-Provided Protocols and Tables", RunSystemProvidedProtocolsAndTables, TRUE},
    {"Driver-Provided Protocols and Tables", RunDriverProvidedProtocolsAndTables, TRUE},
    {"OCF and BCFS Feature Tests", RunOcfAndBcfsFeatureTests, TRUE},
    {"Version Table Tests", RunVersionTableTests, TRUE},
    {"Orvex(R) ZRC Controller Info Tests", RunZrcControllerInfoTests, TRUE},
    {"Orvex(R) ZRC Controller Info Tests", RunZrcRegisterDumpTests, TRUE},
    {"Exported Logical Devices", RunExportedLogicalDevices, TRUE},
    {"Mapped Devices Information", RunMappedDevicesInformation, TRUE},
    {"EFI Fast Boot Support", RunEfiFastBootSupport, TRUE},
};
