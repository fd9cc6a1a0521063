// The VARNOLT_FAULT test hook's grammar: what arms a fault, what arms nothing.
#include "platform/file_io.hpp"

#include <cerrno>
#include <gtest/gtest.h>

namespace varnolt::platform {
namespace {

TEST(FaultSeam, TextArmsOneShotAndStickyFaults) {
    ClearFaults();
    ASSERT_TRUE(ArmFaultsFromText("write:2:ENOSPC,probe:1+:13,vanish:3"));
    EXPECT_EQ(TakeFault(FaultOp::kWrite), 0);
    EXPECT_EQ(TakeFault(FaultOp::kWrite), ENOSPC);
    EXPECT_EQ(TakeFault(FaultOp::kWrite), 0) << "one shot";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(TakeFault(FaultOp::kSourceProbe), EACCES) << "sticky from the first call";
    }
    EXPECT_EQ(TakeFault(FaultOp::kSourceVanish), 0);
    EXPECT_EQ(TakeFault(FaultOp::kSourceVanish), 0);
    EXPECT_EQ(TakeFault(FaultOp::kSourceVanish), EIO) << "EIO when no error is named";
    ClearFaults();
    EXPECT_EQ(TakeFault(FaultOp::kSourceProbe), 0);
}

TEST(FaultSeam, MalformedTextArmsNothing) {
    for (const char* text : {"", "write", "write:0:EIO", "write:x:EIO", "nosuch:1", "write:1:EWHAT",
                             "write:1:EIO:extra", "write:1:EIO,bad", "write:-1"}) {
        ClearFaults();
        EXPECT_FALSE(ArmFaultsFromText(text)) << text;
        EXPECT_EQ(TakeFault(FaultOp::kWrite), 0) << text;
    }
    ClearFaults();
}

} // namespace
} // namespace varnolt::platform
