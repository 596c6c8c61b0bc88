// The record collections asked with a count far beyond the objects there are.
#include <cstdio>
#include <string>
#include <vector>

#include "middleware/api/UviApi.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// Asks once for the number of records, then with a list of room for them and one more but a count
// of 0xFFFFFFFF; prints "<what> <code> <count>".
template <class Record>
void AskBeyond(const char* what, _UVI_Error (*query)(unsigned int, uint32_t, Record*, uint32_t*)) {
    uint32_t count = 0;
    _UVI_Error e = query(0, 0, nullptr, &count);
    CleanupUviError(e.errorId);
    std::vector<Record> records(count + 1);
    count = 0xFFFFFFFF;
    e = query(0, 0, records.data(), &count);
    CleanupUviError(e.errorId);
    std::printf("%s %#X %u\n", what, e.code, count);
}

// uvi-collections-beyond: the array, volume and disk collections of every controller.
moxtest::ChildCommandRegistrar beyond("uvi-collections-beyond", [](const std::vector<std::string>&) {
    if (UviInitialize().status != UVI_STATUS_SUCCESS)
        return 1;
    AskBeyond<_UVI_ArrayInfo>("arrays", [](unsigned int s, uint32_t c, _UVI_ArrayInfo* r, uint32_t* n) {
        return UviGetIxoArrays(s, c, r, n);
    });
    AskBeyond<_UVI_VolumeInfo>("volumes", [](unsigned int s, uint32_t c, _UVI_VolumeInfo* r, uint32_t* n) {
        return UviGetIxoVolumes(s, c, r, n);
    });
    AskBeyond<_UVI_EndDeviceInfo>("disks", UviGetIxoEndDevices);
    static_cast<void>(UviFinalize());
    return 0;
});

} // namespace
