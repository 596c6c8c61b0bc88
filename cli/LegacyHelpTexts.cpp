#include "cli/LegacyHelpTexts.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "middleware/core/ErrorCodes.h"

namespace MOX {

namespace {

const std::string kRule(60, '*');

std::string Framed(const std::string& heading) {
    return kRule + "\n" + heading + "\n" + kRule + "\n";
}

std::string Banner(bool level1) {
    std::string text;
    text += kRule + "\n" + kRule + "\n";
    text += "*\n";
    text += "*  Command Line Utility Readme.\n";
    text += "*\n";
    text += "*  This document refers to products of Orvex Corporation. The use,\n";
    text += "*  duplication and disclosure of these products and of this document\n";
    text += "*  are restricted. Please read the DISCLAIMER section at the bottom of\n";
    text += "*  this document. For further information contact your Orvex field\n";
    text += "*  representative.\n";
    text += "*\n";
    text += kRule + "\n" + kRule + "\n";
    text += "\n";
    text += kRule + "\n";
    text += "*  \n";
    text += "*  Orvex Corporation makes no claims of usability, efficacy or\n";
    text += "*  warranty. The Orvex Software License Agreement contained herein\n";
    text += "*  defines the license under which this software may be used and\n";
    text += "*  the conditions of its use.\n";
    text += "*\n";
    text += kRule + "\n";
    text += "\n";
    text += Framed("*  CONTENTS OF THIS DOCUMENT");
    text += "\n";
    text += "This document contains the following sections:\n";
    text += "\n";
    text += "1.  OVERVIEW\n";
    text += "2.  SYSTEM REQUIREMENTS\n";
    text += "3.  ENTERING THE COMMAND LINE UTILITY USER INTERFACE\n";
    text += "4.  COMMAND LINE UTILITY USAGE\n";
    if (level1) {
        text += "5.  COMMAND LINE RETURN CODES\n";
        text += "6.  USAGE SCENARIOS EXAMPLES\n";
        text += "7.  ERROR CODES\n";
    } else {
        text += "5.  ERROR CODES\n";
    }
    text += "\n\n";
    text += Framed("* 1.  OVERVIEW");
    if (level1) {
        text += "The Command Line Utility is a command line tool for basic operations on\n"
                "systems with Halvex Memory support. It offers the following functions:\n"
                "\n"
                "    - Enabling and disabling Halvex Memory acceleration.\n"
                "    - Viewing the properties of the disks and of the Halvex Memory volume.\n"
                "    - Resetting the volume metadata.\n";
    } else {
        text += "The Command Line Utility is a command line tool for basic RAID operations\n"
                "on RAID-enabled systems. It supports RAID 0, RAID 1, RAID 5 and RAID 10\n"
                "volumes and offers the following functions:\n"
                "\n"
                "    - Creating RAID volumes, recovery volumes included, and arrays (Create mode).\n"
                "    - Viewing disks, volumes, arrays and controllers (Information mode).\n"
                "    - Managing volumes, arrays and disks (Manage mode).\n"
                "    - Modifying volumes (Modify mode).\n"
                "    - Accelerating a disk or volume with an SSD (Accelerate mode).\n";
    }
    text += "\n";
    text += Framed("* 2.  SYSTEM REQUIREMENTS");
    text += "The Command Line Utility has the system requirements of the product it is\n"
            "installed with; see the product's documentation.\n"
            "\n"
            "**IMPORTANT NOTES**\n"
            "Keep the program files of the Command Line Utility in a secured folder, so\n"
            "that unauthorized users cannot use them to change the system's cache volume.\n"
            "\n";
    text += Framed("* 3.  ENTERING THE COMMAND LINE UTILITY USER INTERFACE");
    text += "Use the following steps to enter command line utility:\n"
            "\n"
            "1.  Boot the system to Windows. \n";
    text += level1 ? "2.  Open command prompt as administrator.\n" : "2.  Open command prompt.\n";
    text += "3.  Run the Command Line Utility with the appropriate command line\n"
            "    parameters.\n"
            "\n";
    text += kRule + "\n* 4.  COMMAND LINE UTILITY USAGE\n" + kRule;
    return text;
}

std::string UsageScenarios() {
    std::string text = Framed("* 6.  USAGE SCENARIOS EXAMPLES");
    text += "The following scenarios show how Halvex Memory is set up and changed with\n"
            "the Command Line Utility.\n"
            "\n";
    text += Framed("* 6.1  Usage Scenario #1");
    text += "Description:\n"
            "    Enabling Halvex Memory on a system with Windows installed.\n"
            "\n"
            "Prerequisite:\n"
            "    Windows is installed on the slow drive; the fast drive holds no data.\n"
            "\n"
            "Procedure:\n"
            "    1.    Optionally check the versions of the utility and the driver:\n"
            "          moxcli --version\n"
            "    2.    Find the identifiers of the fast and the slow drive:\n"
            "          moxcli -I\n"
            "          Sample output:\n"
            "          --End Device Information--\n"
            "          ID:              0-3-0-0\n"
            "          Disk Type:       NVMe\n"
            "          ...\n"
            "    3.    Optionally clear all RAID metadata:\n"
            "          moxcli --manage --delete-all-metadata    (or: moxcli -M -Z)\n"
            "    4.    Enable Halvex Memory:\n"
            "          moxcli --HalvexMemory --enable --fast-drive 0-3-0-0\n"
            "                 --drive-to-accel 0-5-0-0\n"
            "    5.    Check that the return code is 0.\n"
            "    6.    Restart the system.\n"
            "\n";
    text += Framed("* 6.2  Usage Scenario #2");
    text += "Description:\n"
            "    Enabling Halvex Memory from the Windows preinstallation environment,\n"
            "    before a prepared system image is deployed to the slow drive.\n"
            "\n"
            "Prerequisite:\n"
            "    The system is booted into the Windows preinstallation environment.\n"
            "\n"
            "Procedure:\n"
            "    1.    Find the drive identifiers with moxcli -I.\n"
            "    2.    Clear all RAID metadata with moxcli -M -Z.\n"
            "    3.    Enable Halvex Memory as in scenario 1, step 4.\n"
            "    4.    Check that the return code is 0.\n"
            "    5.    Deploy the system image to the slow drive and restart.\n"
            "\n";
    text += Framed("* 6.3  Usage Scenario #3");
    text += "Description:\n"
            "    Moving to a larger slow drive.\n"
            "\n"
            "Prerequisite:\n"
            "    Halvex Memory is enabled.\n"
            "\n"
            "Procedure:\n"
            "    1.    Disable Halvex Memory:\n"
            "          moxcli --HalvexMemory --disable\n"
            "    2.    Restart the system.\n"
            "    3.    Clone the slow drive to the larger drive.\n"
            "    4.    Enable Halvex Memory again as in scenario 1.\n"
            "\n";
    text += Framed("* 6.4  Usage Scenario #4");
    text += "Description:\n"
            "    Enabling Halvex Memory on a combined device whose fast and slow parts\n"
            "    are both NVMe devices, from the Windows preinstallation environment.\n"
            "\n"
            "Prerequisite:\n"
            "    The system is booted into the Windows preinstallation environment.\n"
            "\n"
            "Procedure:\n"
            "    1.    Find the identifiers of both parts with moxcli -I.\n"
            "    2.    Enable Halvex Memory:\n"
            "          moxcli --HalvexMemory --enable\n"
            "    3.    Check that the return code is 0 and restart.\n"
            "\n";
    return text;
}

// The readme has always listed this name with a trailing blank; scripts that compare the help keep it.
const char* ListedName(const ErrorCodeInfo& row) {
    return static_cast<uint32_t>(row.code) == 0xA008002E ? "UI UnsupportedDriver " : row.name;
}

uint32_t Layer(uint32_t code) {
    return (code >> 16) & 0xFF;
}

std::string ErrorCodeList() {
    const auto table = ErrorCodeTable();
    std::vector<const ErrorCodeInfo*> rows;
    for (const auto& row : table)
        rows.push_back(&row);
    // By layer, then by code: the layer's success code (0x2...) comes before its failures.
    std::stable_sort(rows.begin(), rows.end(), [](const ErrorCodeInfo* a, const ErrorCodeInfo* b) {
        const uint32_t ca = static_cast<uint32_t>(a->code);
        const uint32_t cb = static_cast<uint32_t>(b->code);
        return Layer(ca) != Layer(cb) ? Layer(ca) < Layer(cb) : ca < cb;
    });
    std::string text;
    for (const ErrorCodeInfo* row : rows) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(row->code));
        if (!text.empty())
            text += '\n';
        text += code;
        text += std::string(10, ' ');
        text += ListedName(*row);
    }
    return text;
}

const char* const kBoostLicence =
    "Permission is hereby granted, free of charge, to any person or organization\n"
    "obtaining a copy of the software and accompanying documentation covered by\n"
    "this license (the \"Software\") to use, reproduce, display, distribute,\n"
    "execute, and transmit the Software, and to prepare derivative works of the\n"
    "Software, and to permit third-parties to whom the Software is furnished to\n"
    "do so, all subject to the following:\n"
    "\n"
    "The copyright notices in the Software and this entire statement, including\n"
    "the above license grant, this restriction and the following disclaimer,\n"
    "must be included in all copies of the Software, in whole or in part, and\n"
    "all derivative works of the Software, unless such copies or derivative\n"
    "works are solely in the form of machine-executable object code generated by\n"
    "a source language processor.\n"
    "\n"
    "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR\n"
    "IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY,\n"
    "FITNESS FOR A PARTICULAR PURPOSE, TITLE AND NON-INFRINGEMENT. IN NO EVENT\n"
    "SHALL THE COPYRIGHT HOLDERS OR ANYONE DISTRIBUTING THE SOFTWARE BE LIABLE\n"
    "FOR ANY DAMAGES OR OTHER LIABILITY, WHETHER IN CONTRACT, TORT OR OTHERWISE,\n"
    "ARISING FROM, OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER\n"
    "DEALINGS IN THE SOFTWARE.\n";

} // namespace

const std::string& LegacyReadmeBannerLevel1() {
    static const std::string text = Banner(true);
    return text;
}

const std::string& LegacyReadmeBanner() {
    static const std::string text = Banner(false);
    return text;
}

const std::string& LegacyReturnCodesHeading() {
    static const std::string text = Framed("* 5.  COMMAND LINE RETURN CODES");
    return text;
}

const std::string& LegacyErrorCodesHeadingLevel1() {
    static const std::string text = Framed("* 7.  ERROR CODES");
    return text;
}

const std::string& LegacyErrorCodesHeading() {
    static const std::string text = Framed("* 5.  ERROR CODES");
    return text;
}

const std::string& LegacyUsageScenarios() {
    static const std::string text = UsageScenarios();
    return text;
}

const std::string& SymbolicErrorCodeList() {
    static const std::string text = ErrorCodeList();
    return text;
}

const std::string& LegacyLicenceText() {
    static const std::string text =
        Framed("* Boost Software License - Version 1.0 - August 17th, 2003") + "\n" + kBoostLicence + "\n";
    return text;
}

const std::string& LegacyDisclaimer() {
    static const std::string text =
        Framed("* DISCLAIMER") + "\n" +
        "INFORMATION IN THIS DOCUMENT IS PROVIDED IN CONNECTION WITH ORVEX PRODUCTS.\n"
        "NO LICENSE, EXPRESS OR IMPLIED, BY ESTOPPEL OR OTHERWISE, TO ANY INTELLECTUAL\n"
        "PROPERTY RIGHTS IS GRANTED BY THIS DOCUMENT. EXCEPT AS PROVIDED IN ORVEX'S\n"
        "TERMS AND CONDITIONS OF SALE FOR SUCH PRODUCTS, ORVEX ASSUMES NO LIABILITY\n"
        "WHATSOEVER AND DISCLAIMS ANY EXPRESS OR IMPLIED WARRANTY RELATING TO THE SALE\n"
        "AND/OR USE OF ORVEX PRODUCTS, INCLUDING LIABILITY OR WARRANTIES RELATING TO\n"
        "FITNESS FOR A PARTICULAR PURPOSE, MERCHANTABILITY, OR INFRINGEMENT OF ANY\n"
        "PATENT, COPYRIGHT OR OTHER INTELLECTUAL PROPERTY RIGHT.\n"
        "\n"
        "Orvex products are not intended for use in medical, life saving or life\n"
        "sustaining applications, or in any application in which the failure of the\n"
        "product could create a situation where personal injury or death may occur.\n"
        "\n"
        "Orvex may make changes to specifications and product descriptions at any\n"
        "time, without notice. The products described in this document may contain\n"
        "design defects or errors known as errata which may cause the product to\n"
        "deviate from published specifications. Current characterized errata are\n"
        "available on request. Copies of documents referenced in this document may be\n"
        "obtained from your Orvex field representative.\n"
        "\n"
        "Orvex and the Orvex logo are trademarks of Orvex Corporation. Other names and\n"
        "brands may be claimed as the property of others.\n"
        "\n"
        "Copyright (C) Orvex Corporation. All rights reserved.\n"
        "\n" +
        Framed("* ORVEX SOFTWARE LICENSE AGREEMENT");
    return text;
}

} // namespace MOX
