#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include "middleware/ioctl/CIoctlStorage.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "platform/win/WinSync.h"
#include "tests/middleware/ioctl/IoctlTestSupport.h"

namespace {

using namespace ioctltest;

// A bare request whose operations can be made to throw or to block.
class TestRequest : public CIoctl {
    MOX_RUNTIME_CLASS("class TestRequest")

public:
    TestRequest(HANDLE target, DWORD code, DWORD inSize, DWORD outSize, DWORD expected)
        : CIoctl(target, code, inSize, outSize, expected) {}

    std::function<void()> onInvoke, onVerify, onReset;

protected:
    CConsolidatedError _realInvoke() override {
        if (onInvoke)
            onInvoke();
        return CIoctl::_realInvoke();
    }
    CConsolidatedError _realVerify() override {
        if (onVerify)
            onVerify();
        return CIoctl::_realVerify();
    }
    CConsolidatedError _realReset() override {
        if (onReset)
            onReset();
        return CIoctl::_realReset();
    }
};

using CIoctlCore = IoctlTest;

void ExpectError(const CConsolidatedError& e, uint32_t code, const char* message, const char* what) {
    EXPECT_EQ(static_cast<uint32_t>(e.GetErrorCode()), code) << what;
    EXPECT_STREQ(e.GetErrorMessage(), message) << what;
}

TEST_F(CIoctlCore, FreshRequestIsNotPerformedAndAPureCommandSendsNoBuffers) {
    CIoctlDiskUpdateProperties request(Open("\\\\.\\PhysicalDrive0"));
    EXPECT_EQ(request.GetLastResult().GetErrorCode(), CConsolidatedError::IOCTL_NOT_PERFORMED);
    EXPECT_EQ(request.GetPortNumber(), 255);
    EXPECT_FALSE(request.GetVerifyOnInvoke());

    CConsolidatedError verify = request.Verify();
    EXPECT_EQ(verify.GetErrorCode(), CConsolidatedError::IOCTL_NOT_PERFORMED);
    EXPECT_STREQ(verify.GetDebugInformation(), "Error while validating IOCTLCIoctl::_realVerify");

    EXPECT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_EQ(request.GetInBuffer(), nullptr);
    EXPECT_EQ(request.GetOutBuffer(), nullptr);
    auto sends = Sends();
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].selectors["in_size"], 0);
    EXPECT_EQ(sends[0].selectors["out_size"], 0);
    EXPECT_TRUE(sends[0].input.empty());
}

// Every failure of the send and of the length checks, each reached through the simulator.
TEST_F(CIoctlCore, FailuresOfTheDeviceCallAndOfTheAnswerLength) {
    HANDLE disk = Open("\\\\.\\PhysicalDrive0");
    struct Case {
        const char* name;
        json outcome;
        bool verifyOnInvoke;
        uint32_t invokeCode;
        const char* invokeMessage;
        uint32_t win32;
        uint32_t verifyCode; // Verify afterwards
    };
    const uint32_t ok = CConsolidatedError::SUCCESS;
    const std::vector<Case> cases = {
        {"answer as expected", json::object(), false, ok, "", 0, ok},
        // Taken as done, but it answered nothing: a later Verify finds it short.
        {"failure without an error", {{"win32_error", 0}}, true, ok, "", 0, 0xA0040403},
        {"busy",
         {{"win32_error", 170}},
         false,
         0xA00000AA,
         "Driver is Busy enumerating hardware",
         0,
         0xA00000AA},
        {"pending", {{"win32_error", 997}}, false, 0xA0030131, "", 0, 0xA0030131},
        {"other error", {{"win32_error", 31}}, false, 0x20000001, "", 31, 0x20000001},
        {"over-long answer", {{"bytes_returned", 9}}, false, ok, "", 0, 0xA0040402},
        {"short answer", {{"bytes_returned", 7}}, false, ok, "", 0, 0xA0040403},
        {"over-long answer, verified on invoke",
         {{"bytes_returned", 9}},
         true,
         0xA0040402,
         "Driver Buffer Overrun in CIoctl::_realVerify, BytesReturned: 9, OutBufferSize: 8",
         0,
         0xA0040402},
        {"short answer, verified on invoke",
         {{"bytes_returned", 7}},
         true,
         0xA0040403,
         "Short driver response in CIoctl::_realVerify, BytesReturned: 7, BytesExpected: 8",
         0,
         0xA0040403},
    };
    for (const auto& c : cases) {
        machine_->faults().Clear();
        if (!c.outcome.empty())
            Inject({{"code", IOCTL_SCSI_GET_ADDRESS}}, c.outcome);
        CIoctlDiskGetDiskAddress request(disk);
        request.SetVerifyOnInvoke(c.verifyOnInvoke);
        CConsolidatedError result = request.Invoke();
        ExpectError(result, c.invokeCode, c.invokeMessage, c.name);
        EXPECT_EQ(result.GetWin32Error(), c.win32) << c.name;
        EXPECT_EQ(request.GetLastResult().GetErrorCode(), result.GetErrorCode()) << c.name;
        if (c.name == std::string("failure without an error")) {
            EXPECT_FALSE(request.IsVerified()) << "no verification after a failure without an error";
        }
        CConsolidatedError verify = request.Verify();
        EXPECT_EQ(static_cast<uint32_t>(verify.GetErrorCode()), c.verifyCode) << c.name;
        if (c.invokeCode != ok) {
            EXPECT_NE(std::string(verify.GetDebugInformation())
                          .find("Error while validating IOCTLCIoctl::_realVerify"),
                      std::string::npos)
                << c.name;
        }
    }

    machine_->faults().Clear();
    Inject({{"code", IOCTL_SCSI_GET_ADDRESS}}, {{"win32_error", 31}});
    CIoctlDiskGetDiskAddress named(disk);
    EXPECT_STREQ(
        named.Invoke().GetDebugInformation(),
        "Error calling DeviceIoControl() in CIoctl::_realInvoke IOCTL class class CIoctlDiskGetDiskAddress");
}

TEST_F(CIoctlCore, AnswersOfExactlyTheBufferOrTheMinimumVerify) {
    HANDLE disk = Open("\\\\.\\PhysicalDrive0");
    struct Case {
        uint32_t bytes;
        uint32_t code;
    };
    for (const Case& c : std::vector<Case>{{16, CConsolidatedError::SUCCESS},
                                           {8, CConsolidatedError::SUCCESS},
                                           {17, CConsolidatedError::DRIVER_BUFFER_OVERRUN},
                                           {7, CConsolidatedError::DRIVER_SHORT_RESPONSE}}) {
        Inject({{"code", IOCTL_SCSI_GET_ADDRESS}}, {{"bytes_returned", c.bytes}});
        TestRequest request(disk, IOCTL_SCSI_GET_ADDRESS, 0, 16, 8);
        ASSERT_TRUE(request.Invoke().IsSuccessful());
        EXPECT_EQ(request.GetBytesReturned(), c.bytes);
        if (c.code == CConsolidatedError::SUCCESS) {
            EXPECT_EQ(request.GetVerifiedOutBuffer(), request.GetOutBuffer()) << c.bytes;
        } else {
            try {
                request.GetVerifiedOutBuffer();
                ADD_FAILURE() << "no throw for " << c.bytes;
            } catch (const CConsolidatedError& e) {
                EXPECT_EQ(static_cast<uint32_t>(e.GetErrorCode()), c.code) << c.bytes;
            }
        }
        EXPECT_EQ(static_cast<uint32_t>(request.Verify().GetErrorCode()), c.code) << c.bytes;
        EXPECT_EQ(request.IsVerified(), c.code == CConsolidatedError::SUCCESS) << c.bytes;
    }
}

TEST_F(CIoctlCore, VerifiedRequestRefusesASecondSendAndAnUnverifiedOneResendsItsInput) {
    HANDLE disk = Open("\\\\.\\PhysicalDrive0");
    CIoctlStorageGetSeekPenalty request(disk);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    ASSERT_TRUE(request.Invoke().IsSuccessful()); // sent, not verified: sent again
    auto sends = Sends();
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0].input, sends[1].input);

    ASSERT_TRUE(request.Verify().IsSuccessful());
    ASSERT_TRUE(request.Verify().IsSuccessful());
    CConsolidatedError again = request.Invoke();
    EXPECT_EQ(again.GetErrorCode(), CConsolidatedError::IOCTL_PREVIOUSLY_PERFORMED);
    EXPECT_STREQ(again.GetErrorMessage(), "CIoctl::Invoke");
    EXPECT_EQ(SendCount(), 2u);

    // Reset makes it sendable again and keeps the verify-on-invoke flag.
    request.SetVerifyOnInvoke(true);
    EXPECT_TRUE(request.Reset().IsSuccessful());
    EXPECT_FALSE(request.IsVerified());
    EXPECT_EQ(request.GetOutBuffer(), nullptr);
    EXPECT_EQ(request.GetBytesReturned(), 0u);
    EXPECT_EQ(request.GetLastResult().GetErrorCode(), CConsolidatedError::IOCTL_NOT_PERFORMED);
    EXPECT_TRUE(request.GetVerifyOnInvoke());
    EXPECT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_TRUE(request.IsVerified());
    EXPECT_EQ(SendCount(), 3u);
}

TEST_F(CIoctlCore, ExceptionsInsideTheOperationsBecomeFaults) {
    TestRequest request(Open("\\\\.\\PhysicalDrive0"), IOCTL_SCSI_GET_ADDRESS, 0, 8, 8);
    auto fail = [] { throw std::runtime_error("boom"); };
    request.onInvoke = fail;
    ExpectError(request.Invoke(), CConsolidatedError::IOCTL_FAULT, "CIoctl::Invoke", "invoke");
    request.onVerify = fail;
    ExpectError(request.Verify(), CConsolidatedError::IOCTL_FAULT, "CIoctl::Verify", "verify");
    request.onReset = fail;
    ExpectError(request.Reset(), CConsolidatedError::IOCTL_FAULT, "CIoctl::Reset", "reset");
    EXPECT_EQ(SendCount(), 0u);
}

TEST_F(CIoctlCore, AllocationFailureIsWin32ErrorFourteenAndNothingIsSent) {
    struct Case {
        DWORD inSize;
        const char* debug;
    };
    for (const Case& c :
         {Case{12, "malloc returned null in CIoctl::_realFormatInputBuffer\nInBufferSize = 12\n"
                   "real_FormatInputBuffer() returned an error in CIoctl::_realInvoke"},
          Case{0, "malloc returned null in CIoctl::_realAllocateOutputBuffer\nOutBufferSize = 8\n"
                  "real_FormatAllocateOutputBuffer() returned an error in CIoctl::_realInvoke"}}) {
        SetIoctlBufferAllocator([](size_t) -> void* { return nullptr; });
        TestRequest request(Open("\\\\.\\PhysicalDrive0"), IOCTL_STORAGE_QUERY_PROPERTY, c.inSize, 8, 8);
        CConsolidatedError result = request.Invoke();
        SetIoctlBufferAllocator(nullptr);
        EXPECT_EQ(result.GetErrorType(), KEDO2_ERROR_TYPE_WIN32);
        EXPECT_EQ(result.GetWin32Error(), static_cast<uint32_t>(ERROR_OUTOFMEMORY));
        EXPECT_STREQ(result.GetDebugInformation(), c.debug);
        EXPECT_EQ(request.GetLastResult().GetWin32Error(), static_cast<uint32_t>(ERROR_OUTOFMEMORY));
    }
    EXPECT_EQ(SendCount(), 0u);
}

TEST_F(CIoctlCore, LockNotTakenWithinTenSecondsOnTheVirtualClock) {
    sim::ScopedVirtualClock clock;
    TestRequest request(Open("\\\\.\\PhysicalDrive0"), IOCTL_SCSI_GET_ADDRESS, 0, 8, 8);
    std::promise<void> inside, leave;
    std::atomic<bool> first{true};
    request.onInvoke = [&] {
        if (!first.exchange(false))
            return;
        inside.set_value();
        leave.get_future().wait();
    };
    std::thread holder([&] { static_cast<void>(request.Invoke()); });
    inside.get_future().wait();

    const uint64_t before = sim::Clock::NowMs();
    ExpectError(request.Invoke(), CConsolidatedError::IOCTL_LOCK_TIMEOUT, "CIoctl::Invoke", "invoke");
    EXPECT_GE(sim::Clock::NowMs() - before, 10000u);
    ExpectError(request.Verify(), CConsolidatedError::IOCTL_LOCK_TIMEOUT, "CIoctl::Verify", "verify");
    ExpectError(request.Reset(), CConsolidatedError::IOCTL_LOCK_TIMEOUT, "CIoctl::Reset", "reset");

    leave.set_value();
    holder.join();
    EXPECT_EQ(SendCount(), 1u);
    // The holder's own thread takes the lock again without waiting.
    request.onVerify = [&] { EXPECT_TRUE(request.Reset().IsSuccessful()); };
    EXPECT_EQ(request.Verify().GetErrorCode(), CConsolidatedError::IOCTL_NOT_PERFORMED);
}

TEST_F(CIoctlCore, BusyRetryOnTheVirtualClock) {
    sim::ScopedVirtualClock clock;
    HANDLE disk = Open("\\\\.\\PhysicalDrive0");
    const json busy = {{"win32_error", 170}};

    {
        CIoctlDiskGetDiskAddress request(disk);
        CConsolidatedError r = request.InvokeBusyRetry(5000, 300);
        EXPECT_TRUE(r.IsSuccessful());
        EXPECT_STREQ(r.GetDebugInformation(), "class CIoctlDiskGetDiskAddress CIoctl::InvokeBusyRetry");
        EXPECT_EQ(SendCount(), 1u);
    }
    {
        Inject({{"code", IOCTL_SCSI_GET_ADDRESS}}, busy, 3);
        const uint64_t before = sim::Clock::NowMs();
        CIoctlDiskGetDiskAddress request(disk);
        CConsolidatedError r = request.InvokeBusyRetry(5000, 300);
        EXPECT_TRUE(r.IsSuccessful());
        EXPECT_EQ(SendCount(), 1u + 4);
        EXPECT_GE(sim::Clock::NowMs() - before, 900u);
        EXPECT_LT(sim::Clock::NowMs() - before, 5000u);
        EXPECT_EQ(request.GetScsiAddress(), 0x00000100u);
    }
    {
        Inject({{"code", IOCTL_SCSI_GET_ADDRESS}}, busy, -1);
        const size_t sendsBefore = SendCount();
        const uint64_t before = sim::Clock::NowMs();
        CIoctlDiskGetDiskAddress request(disk);
        CConsolidatedError r = request.InvokeBusyRetry(5000, 300);
        EXPECT_EQ(r.GetErrorCode(), CConsolidatedError::DRIVER_BUSY);
        EXPECT_STREQ(r.GetDebugInformation(),
                     "Timed out on busy retry after [5000 ms] timer setup succeeded [True]\n"
                     "class CIoctlDiskGetDiskAddress CIoctl::InvokeBusyRetry");
        EXPECT_GE(sim::Clock::NowMs() - before, 5000u);
        // One send every 300 ms until the deadline passes.
        EXPECT_GE(SendCount() - sendsBefore, 16u);
        EXPECT_LE(SendCount() - sendsBefore, 18u);
    }
    {
        machine_->faults().Add(sim::FaultRule{"CreateWaitableTimer", {}, 0, 1, {{"win32_error", 8}}});
        const size_t sendsBefore = SendCount();
        CIoctlDiskGetDiskAddress request(disk);
        CConsolidatedError r = request.InvokeBusyRetry(5000, 300);
        EXPECT_EQ(r.GetErrorCode(), CConsolidatedError::DRIVER_BUSY);
        EXPECT_STREQ(r.GetDebugInformation(),
                     "Timed out on busy retry after [5000 ms] timer setup succeeded [False]\n"
                     "class CIoctlDiskGetDiskAddress CIoctl::InvokeBusyRetry");
        EXPECT_EQ(SendCount() - sendsBefore, 1u);
    }
}

TEST_F(CIoctlCore, DeviceIoControlHookClearsTheLastErrorFirst) {
    HANDLE disk = Open("\\\\.\\PhysicalDrive0");
    Inject({{"code", IOCTL_SCSI_GET_ADDRESS}}, {{"win32_error", 0}});
    uint8_t out[8];
    DWORD bytes = 0;
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeviceIoControlHook(disk, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, out, 8, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), 0u);
    HANDLE wide = CreateFileWHook(L"\\\\.\\PhysicalDrive2", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(wide, INVALID_HANDLE_VALUE);
    CloseHandle(wide);
}

TEST_F(CIoctlCore, InvalidHandleAndNullAreNeverControllerRecords) {
    DeviceLocator table; // holds the placeholder record only
    for (HANDLE target : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        EXPECT_FALSE(DeviceLocator::Contains(target));
        CIoctlDiskGetDiskAddress request(target);
        EXPECT_EQ(request.GetPortNumber(), 255);
        CConsolidatedError r = request.Invoke();
        EXPECT_EQ(r.GetErrorType(), KEDO2_ERROR_TYPE_WIN32);
        EXPECT_EQ(r.GetWin32Error(), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
    }
    // The placeholder record sends to a handle that is no device.
    CIoctlDiskGetDiskAddress placeholder(DeviceLocator::GetByIndex(0));
    EXPECT_EQ(placeholder.Invoke().GetWin32Error(), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
}

TEST_F(CIoctlCore, RequestOnAControllerRecordWaitsForItsNamedMutexAndAPlainHandleDoesNot) {
    sim::ScopedVirtualClock clock;
    HANDLE device = Open("\\\\.\\Scsi0:");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Scsi0:_RO");
    ASSERT_NE(mutex, nullptr);
    ControllerLocator r{};
    r.signature = kControllerLocatorSignature;
    r.flags = kControllerSataRaid;
    r.deviceHandle = device;
    r.mutex = mutex;
    r.portNumber = 0;
    ControllerLocator* record = DeviceLocator::AppendRecord(r);
    ASSERT_NE(record, nullptr);

    std::promise<void> held, release;
    std::thread holder([&] {
        ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
        held.set_value();
        release.get_future().wait();
        ReleaseMutex(mutex);
    });
    held.get_future().wait();

    std::atomic<bool> done{false};
    CConsolidatedError blocked;
    std::thread requester([&] {
        CIoctlDiskGetDiskAddress request(record);
        EXPECT_EQ(request.GetPortNumber(), 0);
        blocked = request.Invoke();
        done = true;
    });
    LetOtherThreadsRun();
    EXPECT_FALSE(done.load());
    EXPECT_EQ(SendCount(), 0u);

    CIoctlDiskGetDiskAddress plain(device);
    EXPECT_TRUE(plain.Invoke().IsSuccessful());
    EXPECT_EQ(SendCount(), 1u);
    EXPECT_FALSE(done.load());

    release.set_value();
    holder.join();
    requester.join();
    EXPECT_TRUE(blocked.IsSuccessful());
    EXPECT_EQ(SendCount(), 2u);

    // A thread that holds the controller's lock sends on it without waiting, and the lock is still
    // its own afterwards.
    {
        ControllerLocatorLock outer(record);
        CIoctlDiskGetDiskAddress request(record);
        EXPECT_TRUE(request.Invoke().IsSuccessful());
        std::thread other(
            [&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_TIMEOUT)); });
        other.join();
    }
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
}

} // namespace
