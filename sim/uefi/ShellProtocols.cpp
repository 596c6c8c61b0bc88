// The command line protocols a UEFI shell installs on the image it starts: the shell parameters
// protocol of a UEFI Shell 2 and the EFI 1.1 shell interface. The machine's "uefi" shell says which
// of them the shell installs (by default the parameters protocol only); the arguments are the ones
// the host program or test gives.
#include "sim/DescriptionValues.h"
#include "sim/uefi/FirmwareState.h"

namespace sim::uefi {

void SetShellArguments(Firmware::State& state, const std::vector<std::string>& arguments) {
    ShellCommandLine& shell = state.shell;
    shell.texts.clear();
    for (const std::string& argument : arguments)
        shell.texts.push_back(Ucs2FromUtf8(argument));
    shell.argv.clear();
    for (std::u16string& text : shell.texts)
        shell.argv.push_back(text.data());
    // Argv ends with a null pointer after the last argument, as C programs expect.
    shell.argv.push_back(nullptr);
    shell.parameters.Argv = shell.argv.data();
    shell.parameters.Argc = shell.texts.size();
    shell.interface.Argv = shell.argv.data();
    shell.interface.Argc = shell.texts.size();
}

void SetUpShell(Firmware::State& state, const nlohmann::json& machine) {
    const nlohmann::json none = nlohmann::json::object();
    const nlohmann::json* shell = &none;
    if (auto uefi = machine.find("uefi"); uefi != machine.end() && uefi->is_object())
        if (auto s = uefi->find("shell"); s != uefi->end() && s->is_object())
            shell = &*s;
    state.shellInterface = DescFlag(*shell, "interface", false);
    state.shellParameters = DescFlag(*shell, "parameters", true);

    state.shell.interface.ImageHandle = state.image;
    SetShellArguments(state, {"app.efi"});
    if (state.shellParameters)
        state.handles.Install(&state.image, gEfiShellParametersProtocolGuid, &state.shell.parameters);
    if (state.shellInterface)
        state.handles.Install(&state.image, gEfiShellInterfaceGuid, &state.shell.interface);
}

} // namespace sim::uefi
