#include "sim/pei/PeiCall.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "sim/DescriptionValues.h"
#include "sim/PlatformCall.h"

namespace sim::pei {

std::optional<nlohmann::json> PeiCall(const std::string& kind, const nlohmann::json& selectors) {
    return PlatformCall(kind, selectors);
}

std::optional<EFI_STATUS> OutcomeStatus(const std::optional<nlohmann::json>& outcome) {
    if (!outcome || !outcome->contains("error"))
        return std::nullopt;
    return EFIERR(DescValue(outcome->at("error")));
}

std::optional<EFI_STATUS> PeiFault(const std::string& kind, const nlohmann::json& selectors) {
    return OutcomeStatus(PeiCall(kind, selectors));
}

std::string GuidText(const EFI_GUID& g) {
    char text[37];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return text;
}

bool SameGuid(const EFI_GUID& a, const EFI_GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::equal(std::begin(a.Data4), std::end(a.Data4), std::begin(b.Data4));
}

void Abandon(const char* function, const char* what) noexcept {
    std::fprintf(stderr, "simulated PEI: %s failed: %s\n", function, what);
    std::abort();
}

} // namespace sim::pei
