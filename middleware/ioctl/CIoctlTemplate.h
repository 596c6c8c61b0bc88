#pragma once
// Checked miniport requests over one fixed-size record that holds the SRB_IO_CONTROL header and
// the payload. The buffer is the input record's size; the answer must be at least the output
// record's size. Records name themselves for texts with a static kRuntimeClassName.
//
// CIoctlTemplateInput adds one input value written at the start of the payload (by default its
// bytes unchanged; a record whose payload needs more specialises CIoctlTemplateInputWriter), and
// CIoctlTemplateInputOutput an output value read back from there.
#include <cstring>
#include <string>
#include <type_traits>

#include "middleware/ioctl/CIoctScsiMiniport.h"

template <class RecordIn, class RecordOut, DWORD ControlCode>
class CIoctlTemplate : public CIoctScsiMiniport {
    static_assert(std::is_trivially_copyable_v<RecordIn> && std::is_trivially_copyable_v<RecordOut>);
    static_assert(sizeof(RecordIn) >= CIoctScsiMiniportUnchecked::kHeaderLength);
    static_assert(sizeof(RecordOut) <= sizeof(RecordIn));

public:
    CIoctlTemplate(HANDLE target, const char* signature, DWORD targetAddress)
        : CIoctScsiMiniport(target, signature, ControlCode, targetAddress, sizeof(RecordIn),
                            sizeof(RecordOut)) {}

    const char* RuntimeClassName() const override {
        static const std::string name =
            mox::TemplateRuntimeClassName("class CIoctlTemplate", {mox::RuntimeClassNameOf<RecordIn>(),
                                                                   mox::RuntimeClassNameOf<RecordOut>(),
                                                                   mox::RuntimeTemplateValue(ControlCode)});
        return name.c_str();
    }

    // The answer record after Verify; throws the verification's error.
    RecordOut GetOutputRecord() {
        GetVerifiedOutBuffer();
        return GetOutputRecordUnverified();
    }

    // The answer record as the buffer holds it, for readers that take the answer after a
    // successful send without verifying; zeros before the buffer exists.
    RecordOut GetOutputRecordUnverified() const {
        RecordOut record{};
        if (m_OutBuffer)
            std::memcpy(&record, m_OutBuffer.get(), sizeof(RecordOut));
        return record;
    }
};

// Writes a template request's input value into its formatted buffer; the default copies the
// value's bytes to the start of the payload.
template <class RecordIn, class Input> struct CIoctlTemplateInputWriter {
    static_assert(std::is_trivially_copyable_v<Input>);
    static_assert(sizeof(RecordIn) >= CIoctScsiMiniportUnchecked::kHeaderLength + sizeof(Input));
    static void Write(BYTE* buffer, const Input& value) {
        std::memcpy(buffer + CIoctScsiMiniportUnchecked::kHeaderLength, &value, sizeof(Input));
    }
    static std::string Describe(const Input&) { return std::string(); }
};

template <class RecordIn, class RecordOut, class Input, DWORD ControlCode>
class CIoctlTemplateInput : public CIoctlTemplate<RecordIn, RecordOut, ControlCode> {
    using Base = CIoctlTemplate<RecordIn, RecordOut, ControlCode>;

public:
    CIoctlTemplateInput(HANDLE target, const char* signature, DWORD targetAddress, const Input& input)
        : Base(target, signature, targetAddress), m_Input(input) {}

    const char* RuntimeClassName() const override {
        static const std::string name = mox::TemplateRuntimeClassName(
            "class CIoctlTemplateInput",
            {mox::RuntimeClassNameOf<RecordIn>(), mox::RuntimeClassNameOf<RecordOut>(),
             mox::RuntimeClassNameOf<Input>(), mox::RuntimeTemplateValue(ControlCode)});
        return name.c_str();
    }

    const Input& GetInput() const { return m_Input; }
    std::string Describe() const override {
        return CIoctlTemplateInputWriter<RecordIn, Input>::Describe(m_Input);
    }

protected:
    CConsolidatedError _realFormatInputBuffer() override {
        CConsolidatedError result = Base::_realFormatInputBuffer();
        if (result.IsSuccessful())
            CIoctlTemplateInputWriter<RecordIn, Input>::Write(this->m_InBuffer.get(), m_Input);
        return result;
    }

    Input m_Input;
};

template <class RecordIn, class RecordOut, class Input, class Output, DWORD ControlCode>
class CIoctlTemplateInputOutput : public CIoctlTemplateInput<RecordIn, RecordOut, Input, ControlCode> {
    using Base = CIoctlTemplateInput<RecordIn, RecordOut, Input, ControlCode>;
    static_assert(std::is_trivially_copyable_v<Output>);
    static_assert(sizeof(RecordOut) >= CIoctScsiMiniportUnchecked::kHeaderLength + sizeof(Output));

public:
    using Base::Base;

    const char* RuntimeClassName() const override {
        static const std::string name = mox::TemplateRuntimeClassName(
            "class CIoctlTemplateInputOutput",
            {mox::RuntimeClassNameOf<RecordIn>(), mox::RuntimeClassNameOf<RecordOut>(),
             mox::RuntimeClassNameOf<Input>(), mox::RuntimeClassNameOf<Output>(),
             mox::RuntimeTemplateValue(ControlCode)});
        return name.c_str();
    }

    // The output value at the start of the answer's payload, unverified; zero without an answer.
    Output GetOutputValue() const {
        Output value{};
        if (this->m_OutBuffer)
            std::memcpy(&value, this->m_OutBuffer.get() + CIoctScsiMiniportUnchecked::kHeaderLength,
                        sizeof(Output));
        return value;
    }
};
