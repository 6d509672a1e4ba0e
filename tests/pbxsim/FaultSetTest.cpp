#include "tools/pbxsim/FaultSet.h"

#include <gtest/gtest.h>

namespace varno::pbxsim {
namespace {

Fault Make(FaultType type, KindSet kinds = AllKinds, long count = -1, int delayMs = 0)
{
    Fault fault;
    fault.Type = type;
    fault.Kinds = kinds;
    fault.Remaining = count;
    fault.DelayMs = delayMs;
    return fault;
}

TEST(PbxsimFaultSetTest, CountedFaultsActOnTheirKindOnlyAndThenLeave)
{
    FaultSet faults;
    faults.Add(Make(FaultType::Silent, KindBit(RequestKind::States), 2));
    EXPECT_FALSE(faults.Apply(RequestKind::Config).Silent) << "another kind uses up nothing";
    EXPECT_TRUE(faults.Apply(RequestKind::States).Silent);
    EXPECT_FALSE(faults.Apply(RequestKind::Config).Any());
    EXPECT_TRUE(faults.Apply(RequestKind::States).Silent);
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
    noise.Noise = {1, 2};
    faults.Add(noise);

    const FaultEffects bill = faults.Apply(RequestKind::Bill);
    EXPECT_EQ(bill.DelayMs, 500);
    EXPECT_TRUE(bill.Twice);
    EXPECT_TRUE(bill.CorruptCrc);
    EXPECT_EQ(bill.Noise, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(bill.Applied, (std::vector<std::string>{"delay 200", "delay 300", "twice", "crc", "noise"}));

    const FaultEffects again = faults.Apply(RequestKind::Bill);
    EXPECT_EQ(again.DelayMs, 200) << "the counted delay is used up";
    EXPECT_FALSE(again.CorruptCrc);
    EXPECT_TRUE(again.Twice);

    EXPECT_EQ(faults.Clear(FaultType::Delay), 1u);
    EXPECT_EQ(faults.Clear(std::nullopt, KindBit(RequestKind::Config)), 0u) << "no fault left covers config";
    EXPECT_EQ(faults.Clear(std::nullopt), 2u);
    EXPECT_TRUE(faults.Empty());
}

}  // namespace
}  // namespace varno::pbxsim
