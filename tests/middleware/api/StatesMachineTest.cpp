#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

namespace {

// The machine of the state tables loads strictly and carries the LPC controller.
TEST(StatesMachine, LoadsWithItsLpcController) {
    sim::ScopedMachine machine(sim::MachineBuilder::FromFile("states.json"));
    uint16_t id = 0;
    const _UVI_Error error = GetLPCId(&id);
    EXPECT_EQ(error.status, UVI_STATUS_SUCCESS);
    EXPECT_EQ(id, 0xA382);
}

} // namespace
