#include "tools/pbxsim/FaultSet.h"

#include <gtest/gtest.h>

namespace varno::pbxsim {
namespace {

Fault Make(FaultType type, KindSet kinds = AllKinds, long count = -1, int delayMs = 0)
{
    Fault fault;
    fault.type = type;
    fault.kinds = kinds;
    fault.remaining = count;
    fault.delayMs = delayMs;
    return fault;
}

TEST(PbxsimFaultSetTest, CountedFaultsActOnTheirKindOnlyAndThenLeave)
{
    FaultSet faults;
    faults.Add(Make(FaultType::Silent, KindBit(RequestKind::States), 2));
    EXPECT_FALSE(faults.Apply(RequestKind::Config).silent) << "another kind uses up nothing";
    EXPECT_TRUE(faults.Apply(RequestKind::States).silent);
    EXPECT_FALSE(faults.Apply(RequestKind::Config).Any());
    EXPECT_TRUE(faults.Apply(RequestKind::States).silent);
    EXPECT_FALSE(faults.Apply(RequestKind::States).Any());
    EXPECT_TRUE(faults.Empty());
}

TEST(PbxsimFaultSetTest, FaultsCombineOnOneAnswer)
{
    FaultSet faults;
    faults.Add(Make(FaultType::Delay, AllKinds, -1, 200));
    faults.Add(Make(FaultType::Delay, KindBit(RequestKind::Bill), 1, 300));
    faults.Add(Make(FaultType::Twice, KindBit(RequestKind::Bill)));
    faults.Add(Make(FaultType::Crc, KindBit(RequestKind::Bill), 1));
    Fault noise = Make(FaultType::Noise, KindBit(RequestKind::Bill));
    noise.noise = {1, 2};
    faults.Add(noise);

    const FaultEffects bill = faults.Apply(RequestKind::Bill);
    EXPECT_EQ(bill.delayMs, 500);
    EXPECT_TRUE(bill.twice);
    EXPECT_TRUE(bill.corruptCrc);
    EXPECT_EQ(bill.noise, (std::vector<uint8_t> {1, 2}));
    EXPECT_EQ(bill.applied, (std::vector<std::string> {"delay 200", "delay 300", "twice", "crc", "noise"}));

    const FaultEffects again = faults.Apply(RequestKind::Bill);
    EXPECT_EQ(again.delayMs, 200) << "the counted delay is used up";
    EXPECT_FALSE(again.corruptCrc);
    EXPECT_TRUE(again.twice);

    EXPECT_EQ(faults.Clear(FaultType::Delay), 1u);
    EXPECT_EQ(faults.Clear(std::nullopt, KindBit(RequestKind::Config)), 0u) << "no fault left covers config";
    EXPECT_EQ(faults.Clear(std::nullopt), 2u);
    EXPECT_TRUE(faults.Empty());
}

}  // namespace
}  // namespace varno::pbxsim
