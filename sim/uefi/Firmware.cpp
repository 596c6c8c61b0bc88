#include "sim/uefi/Firmware.h"

#include <cstring>
#include <stdexcept>
#include <utility>

#include "sim/FirmwareVariables.h"
#include "sim/MachineState.h"
#include "sim/PlatformCall.h"
#include "sim/storage/DiskModel.h"
#include "sim/uefi/FirmwareState.h"

namespace sim::uefi {
namespace {

Firmware::State* g_active = nullptr;

} // namespace

Firmware::State& Active() {
    if (!g_active)
        throw std::logic_error("no simulated firmware is active");
    return *g_active;
}

void Problem(const std::string& text) {
    if (g_active)
        g_active->problems.push_back(text);
}

std::optional<nlohmann::json> Seam(const std::string& kind, const nlohmann::json& selectors) {
    return sim::PlatformCall(kind, selectors);
}

std::optional<EFI_STATUS> InjectedStatus(const std::optional<nlohmann::json>& outcome) {
    if (!outcome || !outcome->is_object() || !outcome->contains("efi_error"))
        return std::nullopt;
    const auto& code = (*outcome)["efi_error"];
    uint64_t n = 0;
    if (code.is_number_unsigned())
        n = code.get<uint64_t>();
    else if (code.is_string())
        n = std::stoull(code.get<std::string>(), nullptr, 0);
    return EFIERR(n);
}

std::optional<EFI_STATUS> Injected(const std::string& kind, const nlohmann::json& selectors) {
    return InjectedStatus(Seam(kind, selectors));
}

EFI_STATUS Guarded(const char* kind, const std::function<EFI_STATUS()>& work) {
    try {
        return work();
    } catch (const std::exception& e) {
        Problem(std::string(kind) + ": " + e.what());
        return EFI_DEVICE_ERROR;
    }
}

void GuardedVoid(const char* kind, const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        Problem(std::string(kind) + ": " + e.what());
    }
}

EFI_STATUS NotProvided(const char* kind) {
    return Guarded(kind, [&] {
        if (auto status = Injected(kind, nlohmann::json::object()))
            return *status;
        Problem(std::string(kind) + ": a service the simulated firmware does not provide");
        return EFI_UNSUPPORTED;
    });
}

// The simulator's one GUID spelling (sim/storage reads and writes the Windows GUID record, whose
// bytes are EFI_GUID's), in the variable store's lower case.
std::string GuidText(const EFI_GUID& g) {
    sim::storage::Guid bytes;
    std::memcpy(bytes.data(), &g, sizeof(g));
    return *sim::firmware::NormalGuid(sim::storage::GuidText(bytes));
}

std::optional<EFI_GUID> GuidFromText(std::string_view text) {
    if (!sim::firmware::NormalGuid(text))
        return std::nullopt;
    const auto bytes = sim::storage::ParseGuid(std::string(text));
    EFI_GUID g;
    std::memcpy(&g, bytes->data(), sizeof(g));
    return g;
}

std::string Utf8FromUcs2(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Ucs2FromUtf8(std::string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
        if (i + length > text.size())
            length = 1;
        char32_t code = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; k < length; ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += (length == 1 && c >= 0x80) || code > 0xFFFF ? u'?' : static_cast<char16_t>(code);
        i += length;
    }
    return out;
}

std::u16string_view Ucs2View(const CHAR16* text, size_t limit) {
    size_t n = 0;
    while (n < limit && text[n] != 0)
        ++n;
    return std::u16string_view(text, n);
}

uint32_t Crc32(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

EFI_TABLE_HEADER TableHeader(UINT64 signature, UINT32 size) {
    EFI_TABLE_HEADER header{};
    header.Signature = signature;
    header.Revision = EFI_2_70_SYSTEM_TABLE_REVISION;
    header.HeaderSize = size;
    return header;
}

void SealTable(EFI_TABLE_HEADER& header) {
    header.CRC32 = 0;
    header.CRC32 = Crc32(&header, header.HeaderSize);
}

void UpdateSystemTable(Firmware::State& state) {
    EFI_SYSTEM_TABLE& st = state.systemTable;
    st.NumberOfTableEntries = state.configuration.size();
    st.ConfigurationTable = state.configuration.empty() ? nullptr : state.configuration.data();
    SealTable(st.Hdr);
}

Firmware::Firmware() : state_(std::make_unique<State>()) {
    if (g_active)
        throw std::logic_error("a simulated firmware is active already");
    State& s = *state_;
    s.firmwareAgent = s.handles.Create("firmware");
    s.image = s.handles.Create("image");
    SetUpBootServices(s);
    SetUpRuntimeServices(s);

    s.vendor = u"Moxsim";
    EFI_SYSTEM_TABLE& st = s.systemTable;
    st.Hdr = TableHeader(EFI_SYSTEM_TABLE_SIGNATURE, sizeof(EFI_SYSTEM_TABLE));
    st.FirmwareVendor = s.vendor.data();
    st.FirmwareRevision = 0x00010000;
    st.BootServices = &s.bootServices;
    st.RuntimeServices = &s.runtimeServices;

    sim::Current().Read([&](const nlohmann::json& machine) {
        SetUpConsole(s, machine);
        SetUpShell(s, machine);
        SetUpPci(s, machine);
        SetUpPlatform(s, machine);
        SetUpRaidDrivers(s, machine);
        SetUpAcpi(s, machine);
    });
    UpdateSystemTable(s);
    g_active = &s;
}

Firmware::~Firmware() {
    if (g_active == state_.get())
        g_active = nullptr;
}

EFI_SYSTEM_TABLE* Firmware::SystemTable() {
    return &state_->systemTable;
}

EFI_HANDLE Firmware::ImageHandle() {
    return state_->image;
}

void Firmware::SetArguments(const std::vector<std::string>& arguments) {
    SetShellArguments(*state_, arguments);
}

const std::vector<ConsoleCell>& Firmware::ConsoleCells() const {
    return state_->conOut.cells;
}

std::string Firmware::ConsoleText() const {
    std::u16string text;
    for (const ConsoleCell& cell : state_->conOut.cells)
        text += cell.character;
    return Utf8FromUcs2(text);
}

void Firmware::ClearConsole() {
    state_->conOut.cells.clear();
}

void Firmware::OnConsoleOutput(std::function<void(std::u16string_view)> sink) {
    state_->conOut.sink = std::move(sink);
}

void Firmware::QueueKey(char16_t character, uint16_t scanCode) {
    state_->conIn.keys.push_back(EFI_INPUT_KEY{scanCode, character});
}

void Firmware::QueueKeys(std::u16string_view characters) {
    for (char16_t c : characters)
        QueueKey(c);
}

size_t Firmware::KeysWaiting() const {
    return state_->conIn.keys.size();
}

void Firmware::OnKeyNeeded(std::function<std::optional<EFI_INPUT_KEY>()> source) {
    state_->conIn.source = std::move(source);
}

size_t Firmware::AllocationsNotFreed() const {
    return state_->pool.Count();
}

size_t Firmware::BytesNotFreed() const {
    return state_->pool.Bytes();
}

EFI_HANDLE Firmware::NewHandle(const std::string& name) {
    return state_->handles.Create(name);
}

void Firmware::Install(EFI_HANDLE handle, const EFI_GUID& protocol, void* interface) {
    if (state_->handles.Install(&handle, protocol, interface) != EFI_SUCCESS)
        throw std::invalid_argument("cannot install " + GuidText(protocol) + " on " +
                                    state_->handles.NameOf(handle));
}

bool Firmware::Uninstall(EFI_HANDLE handle, const EFI_GUID& protocol) {
    ProtocolEntry* entry = state_->handles.FindProtocol(handle, protocol);
    return entry && state_->handles.Uninstall(handle, protocol, entry->interface) == EFI_SUCCESS;
}

EFI_HANDLE Firmware::FindHandle(const std::string& name) const {
    return state_->handles.FindByName(name);
}

size_t Firmware::OpenRecordsOf(EFI_HANDLE agent) const {
    return state_->handles.RecordsOf(agent);
}

void Firmware::SetConfigurationTable(const EFI_GUID& guid, void* table) {
    for (EFI_CONFIGURATION_TABLE& entry : state_->configuration) {
        if (SameGuid(entry.VendorGuid, guid)) {
            entry.VendorTable = table;
            UpdateSystemTable(*state_);
            return;
        }
    }
    state_->configuration.push_back(EFI_CONFIGURATION_TABLE{guid, table});
    UpdateSystemTable(*state_);
}

const std::vector<std::string>& Firmware::Problems() const {
    return state_->problems;
}

std::vector<std::string> Firmware::TakeProblems() {
    return std::exchange(state_->problems, {});
}

int ExitCodeOf(EFI_STATUS status) {
    if (status == EFI_SUCCESS)
        return 0;
    const uint64_t code = status & ~EFI_MAX_BIT;
    return code > 0 && code < 256 ? static_cast<int>(code) : 255;
}

} // namespace sim::uefi
