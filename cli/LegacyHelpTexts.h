#pragma once
// The constant texts of the legacy readme help, printed unchanged and unwrapped.
#include <string>

namespace MOX {

// Both banners end with the framed heading of section 4 and no line end after it.
const std::string& LegacyReadmeBannerLevel1();
const std::string& LegacyReadmeBanner();
// Framed section headings, each ending with a line end.
const std::string& LegacyReturnCodesHeading();
const std::string& LegacyErrorCodesHeadingLevel1();
const std::string& LegacyErrorCodesHeading();
const std::string& LegacyUsageScenarios();
// One line per code of the core's error code table ("0x" + 8 hex digits, ten blanks, the name),
// grouped by layer; no line end after the last line.
const std::string& SymbolicErrorCodeList();
const std::string& LegacyLicenceText();
const std::string& LegacyDisclaimer();

} // namespace MOX
