// The console of the simulated firmware: the text output records every character with the
// attribute in force (and hands it to the host's sink), the text input hands out queued keys. Its
// size and whether the system table names it come from the machine's "uefi" console; the calls pass
// the seam as "SimpleTextOutput.<name>" and "SimpleTextInput.<name>".
#include "sim/DescriptionValues.h"
#include "sim/Schema.h"
#include "sim/uefi/FirmwareState.h"

namespace sim::uefi {
namespace {

using nlohmann::json;
using State = Firmware::State;
namespace schema = sim::schema;

const schema::FaultKind kOutput(
    {"SimpleTextOutput.Reset", "SimpleTextOutput.OutputString", "SimpleTextOutput.TestString",
     "SimpleTextOutput.QueryMode", "SimpleTextOutput.SetMode", "SimpleTextOutput.SetAttribute",
     "SimpleTextOutput.ClearScreen", "SimpleTextOutput.SetCursorPosition", "SimpleTextOutput.EnableCursor"},
    {"text", "mode", "attribute"}, schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}}));
const schema::FaultKind kInput({"SimpleTextInput.Reset", "SimpleTextInput.ReadKeyStroke"}, {},
                               schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}}));

// The console output of the call, or null when the program passed another.
TextOutput* Output(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self) {
    TextOutput& out = Active().conOut;
    return self == &out.protocol ? &out : nullptr;
}

TextInput* Input(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* self) {
    TextInput& in = Active().conIn;
    return self == &in.protocol ? &in : nullptr;
}

void Advance(TextOutput& out, char16_t c) {
    SIMPLE_TEXT_OUTPUT_MODE& m = out.mode;
    if (c == u'\r') {
        m.CursorColumn = 0;
    } else if (c == u'\n') {
        if (out.rows == 0 || static_cast<uint32_t>(m.CursorRow) + 1 < out.rows)
            ++m.CursorRow;
    } else if (c == u'\b') {
        if (m.CursorColumn > 0)
            --m.CursorColumn;
    } else {
        ++m.CursorColumn;
        if (out.columns != 0 && static_cast<uint32_t>(m.CursorColumn) >= out.columns) {
            m.CursorColumn = 0;
            if (static_cast<uint32_t>(m.CursorRow) + 1 < out.rows)
                ++m.CursorRow;
        }
    }
}

EFI_STATUS EFIAPI OutReset(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self, BOOLEAN) {
    return Guarded("SimpleTextOutput.Reset", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextOutput.Reset", json::object()))
            return *status;
        TextOutput* out = Output(self);
        if (!out)
            return EFI_INVALID_PARAMETER;
        out->mode.Attribute = EFI_LIGHTGRAY;
        out->mode.CursorColumn = 0;
        out->mode.CursorRow = 0;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI OutputString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self, CHAR16* text) {
    return Guarded("SimpleTextOutput.OutputString", [&]() -> EFI_STATUS {
        const std::u16string_view view = text ? Ucs2View(text) : std::u16string_view();
        if (auto status = Injected("SimpleTextOutput.OutputString", {{"text", Utf8FromUcs2(view)}}))
            return *status;
        TextOutput* out = Output(self);
        if (!out || !text)
            return EFI_INVALID_PARAMETER;
        const auto attribute = static_cast<uint8_t>(out->mode.Attribute);
        for (char16_t c : view) {
            out->cells.push_back(ConsoleCell{c, attribute});
            Advance(*out, c);
        }
        if (out->sink && !view.empty())
            out->sink(view);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI TestString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self, CHAR16* text) {
    return Guarded("SimpleTextOutput.TestString", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextOutput.TestString",
                                   {{"text", text ? Utf8FromUcs2(Ucs2View(text)) : std::string()}}))
            return *status;
        return Output(self) && text ? EFI_SUCCESS : EFI_INVALID_PARAMETER;
    });
}

EFI_STATUS EFIAPI QueryMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self, UINTN mode, UINTN* columns, UINTN* rows) {
    return Guarded("SimpleTextOutput.QueryMode", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextOutput.QueryMode", {{"mode", mode}}))
            return *status;
        TextOutput* out = Output(self);
        if (!out || !columns || !rows)
            return EFI_INVALID_PARAMETER;
        if (mode >= static_cast<UINTN>(out->mode.MaxMode))
            return EFI_UNSUPPORTED;
        *columns = out->columns;
        *rows = out->rows;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI SetMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self, UINTN mode) {
    return Guarded("SimpleTextOutput.SetMode", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextOutput.SetMode", {{"mode", mode}}))
            return *status;
        TextOutput* out = Output(self);
        if (!out)
            return EFI_INVALID_PARAMETER;
        if (mode >= static_cast<UINTN>(out->mode.MaxMode))
            return EFI_UNSUPPORTED;
        out->mode.Mode = static_cast<INT32>(mode);
        out->mode.CursorColumn = 0;
        out->mode.CursorRow = 0;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI SetAttribute(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self, UINTN attribute) {
    return Guarded("SimpleTextOutput.SetAttribute", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextOutput.SetAttribute", {{"attribute", attribute}}))
            return *status;
        TextOutput* out = Output(self);
        if (!out)
            return EFI_INVALID_PARAMETER;
        // Foreground in bits 0-3, background in bits 4-6; nothing above.
        if (attribute > 0x7F)
            return EFI_UNSUPPORTED;
        out->mode.Attribute = static_cast<INT32>(attribute);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI ClearScreen(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self) {
    return Guarded("SimpleTextOutput.ClearScreen", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextOutput.ClearScreen", json::object()))
            return *status;
        TextOutput* out = Output(self);
        if (!out)
            return EFI_INVALID_PARAMETER;
        out->mode.CursorColumn = 0;
        out->mode.CursorRow = 0;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI SetCursorPosition(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self, UINTN column, UINTN row) {
    return Guarded("SimpleTextOutput.SetCursorPosition", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextOutput.SetCursorPosition", json::object()))
            return *status;
        TextOutput* out = Output(self);
        if (!out)
            return EFI_INVALID_PARAMETER;
        if ((out->columns && column >= out->columns) || (out->rows && row >= out->rows))
            return EFI_UNSUPPORTED;
        out->mode.CursorColumn = static_cast<INT32>(column);
        out->mode.CursorRow = static_cast<INT32>(row);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI EnableCursor(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self, BOOLEAN visible) {
    return Guarded("SimpleTextOutput.EnableCursor", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextOutput.EnableCursor", json::object()))
            return *status;
        TextOutput* out = Output(self);
        if (!out)
            return EFI_INVALID_PARAMETER;
        out->mode.CursorVisible = visible;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI InReset(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* self, BOOLEAN) {
    return Guarded("SimpleTextInput.Reset", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextInput.Reset", json::object()))
            return *status;
        return Input(self) ? EFI_SUCCESS : EFI_INVALID_PARAMETER;
    });
}

EFI_STATUS EFIAPI ReadKeyStroke(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* self, EFI_INPUT_KEY* key) {
    return Guarded("SimpleTextInput.ReadKeyStroke", [&]() -> EFI_STATUS {
        if (auto status = Injected("SimpleTextInput.ReadKeyStroke", json::object()))
            return *status;
        TextInput* in = Input(self);
        if (!in || !key)
            return EFI_INVALID_PARAMETER;
        if (in->keys.empty())
            return EFI_NOT_READY;
        *key = in->keys.front();
        in->keys.pop_front();
        return EFI_SUCCESS;
    });
}

} // namespace

void SetUpConsole(Firmware::State& state, const json& machine) {
    const json* console = nullptr;
    if (auto uefi = machine.find("uefi"); uefi != machine.end() && uefi->is_object())
        if (auto c = uefi->find("console"); c != uefi->end() && c->is_object())
            console = &*c;
    const json none = json::object();
    const json& c = console ? *console : none;

    TextOutput& out = state.conOut;
    out.columns = static_cast<uint32_t>(DescNumber(c, "columns", 80));
    out.rows = static_cast<uint32_t>(DescNumber(c, "rows", 25));
    out.mode.MaxMode = 1;
    out.mode.Mode = 0;
    out.mode.Attribute = EFI_LIGHTGRAY;
    out.mode.CursorVisible = TRUE;
    out.protocol.Reset = OutReset;
    out.protocol.OutputString = OutputString;
    out.protocol.TestString = TestString;
    out.protocol.QueryMode = QueryMode;
    out.protocol.SetMode = SetMode;
    out.protocol.SetAttribute = SetAttribute;
    out.protocol.ClearScreen = ClearScreen;
    out.protocol.SetCursorPosition = SetCursorPosition;
    out.protocol.EnableCursor = EnableCursor;
    out.protocol.Mode = &out.mode;

    TextInput& in = state.conIn;
    in.keyEvent.type = EVT_NOTIFY_WAIT;
    in.keyEvent.keys = true;
    in.protocol.Reset = InReset;
    in.protocol.ReadKeyStroke = ReadKeyStroke;
    in.protocol.WaitForKey = &in.keyEvent;

    state.consoleOut = state.handles.Create("console-out");
    state.handles.Install(&state.consoleOut, gEfiSimpleTextOutProtocolGuid, &out.protocol);
    state.consoleIn = state.handles.Create("console-in");
    state.handles.Install(&state.consoleIn, gEfiSimpleTextInProtocolGuid, &in.protocol);

    // A console the system table does not name is still found by its protocol.
    EFI_SYSTEM_TABLE& st = state.systemTable;
    if (DescFlag(c, "in_system_table", true)) {
        st.ConsoleOutHandle = state.consoleOut;
        st.ConOut = &out.protocol;
        st.StandardErrorHandle = state.consoleOut;
        st.StdErr = &out.protocol;
    }
    st.ConsoleInHandle = state.consoleIn;
    st.ConIn = &in.protocol;
}

} // namespace sim::uefi
