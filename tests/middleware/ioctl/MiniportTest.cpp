#include "sim/devio/Miniport.h"
#include "middleware/ioctl/CIoctScsiMiniport.h"
#include "middleware/ioctl/CIoctlTemplate.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlDirectMode.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "platform/win/WinStorage.h"
#include "platform/win/WinSync.h"
#include "tests/middleware/ioctl/IoctlTestSupport.h"

namespace {

using namespace ioctltest;
using sim::devio::DriverAnswer;
using sim::devio::DriverRequest;
using sim::devio::ScopedDriverHandler;

constexpr DWORD kCode = 0x80000D01;

// A family with its own return-code names and message prefix.
class NamedRequest : public CIoctScsiMiniport {
    MOX_RUNTIME_CLASS("class NamedRequest")

public:
    using CIoctScsiMiniport::CIoctScsiMiniport;
    const char* GetReturnCodeName(DWORD code) const override {
        return code == 5 ? "OS is on wrong disk" : nullptr;
    }
    const char* GetErrorPrefix() const override { return prefix; }
    const char* prefix = nullptr;
};

struct TEST_RECORD {
    static constexpr const char* kRuntimeClassName = "struct TEST_RECORD";
    SRB_IO_CONTROL header;
    uint32_t value;
    uint32_t echo;
    uint8_t rest[32];
};
static_assert(sizeof(TEST_RECORD) == 68);

class Miniport : public IoctlTest {
protected:
    // The driver answers OrvexTst requests by echoing the payload's first word at 32 and setting
    // the ReturnCode the test asks for.
    uint32_t returnCode_ = 0xFFFFFFFF;
    std::vector<DriverRequest> seen_;
    ScopedDriverHandler driver_{"moxraid", "OrvexTst", kCode, [this](DriverRequest& r) {
                                    seen_.push_back(r);
                                    if (r.buffer.size() >= 36)
                                        std::memcpy(r.buffer.data() + 32, r.buffer.data() + 28, 4);
                                    r.SetReturnCode(returnCode_);
                                    return DriverAnswer{};
                                }};
    HANDLE adapter_ = Open("\\\\.\\Scsi0:");
};

TEST_F(Miniport, HeaderIsFramedByteForByte) {
    struct Case {
        const char* signature;
        DWORD target;
        DWORD size;
    };
    for (const Case& c :
         {Case{"OrvexTst", 0x01020300, 40}, Case{"OrvexTst", 0, 28}, Case{"CSMIALL", 7, 36}}) {
        CIoctScsiMiniportUnchecked request(adapter_, c.signature, kCode, c.target, c.size, c.size);
        static_cast<void>(request.Invoke()); // the bytes sent are what is checked
        std::vector<uint8_t> expected(c.size);
        SRB_IO_CONTROL h{};
        h.HeaderLength = 28;
        std::memcpy(h.Signature, c.signature, std::strlen(c.signature));
        h.Timeout = 500;
        h.ControlCode = kCode;
        h.ReturnCode = c.target;
        h.Length = c.size - 28;
        std::memcpy(expected.data(), &h, sizeof(h));
        auto sends = Sends();
        ASSERT_FALSE(sends.empty());
        EXPECT_EQ(sends.back().input, expected) << c.signature << " " << c.size;
        EXPECT_EQ(sends.back().selectors["code"], IOCTL_SCSI_MINIPORT);
        EXPECT_EQ(request.GetInBufferSize(), request.GetOutBufferSize());
    }
    // "CSMIALL" keeps its one zero byte: no handler answers that signature here.
    EXPECT_EQ(Sends().back().selectors["signature"], "CSMIALL");
}

TEST_F(Miniport, AnswerChecksOfTheHeader) {
    struct Case {
        const char* name;
        json outcome;
        DWORD answerCode;
        bool check;
        DWORD expected;
        const char* prefix;
        uint32_t code;
        const char* message;
    };
    const uint32_t ok = CConsolidatedError::SUCCESS;
    const std::vector<Case> cases = {
        {"default expectation met", {}, 0xFFFFFFFF, true, 0xFFFFFFFF, nullptr, ok, ""},
        {"ReturnCode 0 fails the default", {}, 0, true, 0xFFFFFFFF, nullptr, 0xA0040404, "ReturnCode: 0"},
        {"ReturnCode 0 passes a family expecting it", {}, 0, true, 0, nullptr, ok, ""},
        {"check off", {}, 1234, false, 0, nullptr, ok, ""},
        {"named code", {}, 5, true, 0, nullptr, 0xA0040404, "ReturnCode: [5] - OS is on wrong disk"},
        {"named code with prefix",
         {},
         5,
         true,
         0,
         "Concatenate returned error",
         0xA0040404,
         "Concatenate returned error. ReturnCode: [5] - OS is on wrong disk"},
        {"header length",
         {{"srb_header_length", 27}},
         0xFFFFFFFF,
         true,
         0xFFFFFFFF,
         nullptr,
         0xA0040401,
         "Invalid SRB_IO_CONTROL.HeaderLength, expected: 28, actual: 27"},
        {"short answer",
         {{"bytes_returned", 35}},
         0xFFFFFFFF,
         true,
         0xFFFFFFFF,
         nullptr,
         0xA0040403,
         "Short driver response in CIoctl::_realVerify, BytesReturned: 35, BytesExpected: 36"},
    };
    for (const auto& c : cases) {
        machine_->faults().Clear();
        if (!c.outcome.empty())
            Inject({{"signature", "OrvexTst"}}, c.outcome);
        returnCode_ = c.answerCode;
        NamedRequest request(adapter_, "OrvexTst", kCode, 0, 36, 36);
        request.prefix = c.prefix;
        request.SetExpectedReturnCode(c.expected);
        request.SetCheckReturnCode(c.check);
        request.SetVerifyOnInvoke(true);
        CConsolidatedError r = request.Invoke();
        EXPECT_EQ(static_cast<uint32_t>(r.GetErrorCode()), c.code) << c.name;
        EXPECT_STREQ(r.GetErrorMessage(), c.message) << c.name;
        EXPECT_EQ(request.IsVerified(), c.code == ok) << c.name;
        if (c.code != 0xA0040403) {
            EXPECT_EQ(r.GetDriverError(), c.answerCode) << c.name << ": the driver's code travels along";
            EXPECT_EQ(r.IsSuccessful(), c.code == ok) << c.name;
        }
        EXPECT_EQ(request.GetSrbReturnCode(), c.answerCode) << c.name;
    }
}

TEST_F(Miniport, VerifiedPayloadThrowsTheVerificationError) {
    returnCode_ = 0;
    CIoctScsiMiniportUnchecked request(adapter_, "OrvexTst", kCode, 0, 36, 36);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_THROW(request.GetVerifiedPayload(), CConsolidatedError);
    request.SetExpectedReturnCode(0);
    EXPECT_TRUE(request.Reset().IsSuccessful());
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_EQ(request.GetVerifiedPayload(), request.GetOutBuffer() + 28);
}

TEST_F(Miniport, InterfaceGateOfCheckedRequests) {
    // Before the table is built every checked request passes, whatever its target.
    EXPECT_TRUE(IoctlInterfaceVersionStore::IsBuildBypassActive());
    CIoctScsiMiniport early(adapter_, "OrvexTst", kCode, 0, 36, 36);
    EXPECT_TRUE(early.Invoke().IsSuccessful());

    ControllerLocator r{};
    r.signature = kControllerLocatorSignature;
    r.flags = kControllerSataRaid;
    r.deviceHandle = adapter_;
    r.mutex = CreateMutexA(nullptr, FALSE, "Scsi0:_RO");
    r.portNumber = 0;
    ControllerLocator* record = DeviceLocator::AppendRecord(r);
    auto supported = MakeInterfaceVersionEntry("OrvexTst", false, 1, 0, kQueryPlain, {});
    supported.state = kInterfaceQueried;
    supported.reportedMajor = 1;
    supported.reportedMinor = 7;
    auto failed = MakeInterfaceVersionEntry("OrvexBad", false, 1, 0, kQueryPlain, {});
    failed.state = kInterfaceQueryFailed;
    IoctlInterfaceVersionStore::SetControllerVersions(*record, {supported, failed});
    IoctlInterfaceVersionStore::EndBuildBypass();

    const size_t before = SendCount();
    // The record and its device handle both name the controller.
    for (HANDLE target : {static_cast<HANDLE>(record), adapter_}) {
        CIoctScsiMiniport ok(target, "OrvexTst", kCode, 0, 36, 36);
        EXPECT_TRUE(ok.Invoke().IsSuccessful());
    }
    EXPECT_EQ(SendCount(), before + 2);

    CIoctScsiMiniport refused(record, "OrvexBad", kCode, 0, 36, 36);
    CConsolidatedError r1 = refused.Invoke();
    EXPECT_EQ(r1.GetErrorCode(), CConsolidatedError::IOCTL_INTERFACE_NOT_SUPPORTED);
    EXPECT_STREQ(r1.GetErrorMessage(), "Interface version not supported: OrvexBad");
    EXPECT_EQ(refused.GetLastResult().GetErrorCode(), CConsolidatedError::IOCTL_NOT_PERFORMED);

    CIoctScsiMiniport unknownTarget(Open("\\\\.\\Scsi1:"), "OrvexTst", kCode, 0, 36, 36);
    EXPECT_EQ(unknownTarget.Invoke().GetErrorCode(), CConsolidatedError::IOCTL_FAULT);
    // The unchecked form never asks.
    CIoctScsiMiniportUnchecked unchecked(record, "OrvexBad", kCode, 0, 36, 36);
    static_cast<void>(unchecked.Invoke()); // only whether it was sent matters here
    EXPECT_EQ(SendCount(), before + 3);
}

TEST_F(Miniport, TemplatesFrameTheirRecordAndInputValue) {
    using Request = CIoctlTemplateInput<TEST_RECORD, TEST_RECORD, int, kCode>;
    Request request(adapter_, "OrvexTst", 0x00000200, 0x1234);
    EXPECT_STREQ(request.RuntimeClassName(),
                 "class CIoctlTemplateInput<struct TEST_RECORD,struct TEST_RECORD,int,2147486977>");
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    const auto input = Sends().back().input;
    ASSERT_EQ(input.size(), sizeof(TEST_RECORD));
    EXPECT_EQ(U32(input, 24), sizeof(TEST_RECORD) - 28);
    EXPECT_EQ(U32(input, 28), 0x1234u);
    EXPECT_EQ(request.GetOutputRecordUnverified().echo, 0x1234u);
    EXPECT_EQ(request.GetOutputRecord().value, 0x1234u);

    using Out = CIoctlTemplateInputOutput<TEST_RECORD, TEST_RECORD, int, uint32_t, kCode>;
    Out out(adapter_, "OrvexTst", 0, 77);
    EXPECT_EQ(out.GetOutputValue(), 0u);
    ASSERT_TRUE(out.Invoke().IsSuccessful());
    EXPECT_EQ(out.GetOutputValue(), 77u);
    EXPECT_STREQ(
        out.RuntimeClassName(),
        "class CIoctlTemplateInputOutput<struct TEST_RECORD,struct TEST_RECORD,int,unsigned int,2147486977>");

    CIoctlTemplate<TEST_RECORD, TEST_RECORD, kCode> plain(adapter_, "OrvexTst", 0);
    EXPECT_STREQ(plain.RuntimeClassName(),
                 "class CIoctlTemplate<struct TEST_RECORD,struct TEST_RECORD,2147486977>");
    returnCode_ = 3;
    ASSERT_TRUE(plain.Invoke().IsSuccessful());
    EXPECT_THROW(plain.GetOutputRecord(), CConsolidatedError);
}

TEST(IoctlDirectMode, IsSetOnceAndStaysSet) {
    EXPECT_FALSE(IsIoctlDirectMode());
    EXPECT_TRUE(SetIoctlDirectMode());
    EXPECT_FALSE(SetIoctlDirectMode());
    EXPECT_TRUE(IsIoctlDirectMode());
}

} // namespace
