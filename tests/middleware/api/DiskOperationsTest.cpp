// The exported disk operations.
#include <gtest/gtest.h>

#include "middleware/api/UviOperations.h"

namespace {

TEST(DiskOperations, StoragePoolAndHybridSubClassAreNotImplementedEvenBeforeTheLibraryStarts) {
    for (_UVI_Error (*call)() : {UviDiskAssignStoragePool, UviSetOrvexHybridDiskSubClassCode}) {
        const _UVI_Error error = call();
        EXPECT_EQ(error.code, 0xA001000Au);
        EXPECT_EQ(error.status, UVI_STATUS_NOT_IMPLEMENTED);
    }
}

} // namespace
