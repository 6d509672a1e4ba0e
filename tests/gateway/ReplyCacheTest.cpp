#include <gtest/gtest.h>

#include <QByteArray>
#include <string>
#include <vector>

#include "agent/gateway/ReplyCache.h"
#include "platform/clock/Clock.h"

using namespace varno;

namespace {

constexpr double T0 = 45000.25;
double at(double ms) { return T0 + ms / MsPerDay; }

std::vector<uint8_t> b(std::initializer_list<int> list) { return std::vector<uint8_t>(list.begin(), list.end()); }

// One step against a cache: store a request with a reply, or look one up.
struct Step {
    enum Kind { Store, Hit, Miss } kind;
    std::vector<uint8_t> request;
    std::vector<uint8_t> reply;  // stored, or expected on a hit
    double ms = 0;               // time of the step, from T0
};

struct Case {
    const char* name;
    int capacity;
    std::vector<Step> steps;
    int count, next;  // CacheCount and CacheNext at the end
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CacheTable : public ::testing::TestWithParam<Case> {};

TEST_P(CacheTable, Steps)
{
    const Case& c = GetParam();
    TReplyCache cache;
    ASSERT_TRUE(cache.Allocate(c.capacity));
    int i = 0;
    for (const Step& s : c.steps) {
        SCOPED_TRACE("step " + std::to_string(i++));
        const int n = static_cast<int>(s.request.size());
        if (s.kind == Step::Store) {
            cache.Store(s.request.data(), n, s.reply.data(), static_cast<int>(s.reply.size()), at(s.ms));
            continue;
        }
        const TCacheEntry* e = cache.Lookup(s.request.data(), n, true, at(s.ms));
        if (s.kind == Step::Miss) {
            EXPECT_EQ(e, nullptr);
        } else {
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(std::vector<uint8_t>(e->Reply, e->Reply + e->ReplyLen), s.reply);
        }
    }
    EXPECT_EQ(cache.CacheCount, c.count);
    EXPECT_EQ(cache.CacheNext, c.next);
}

using S = Step;
const std::vector<uint8_t> R1 = b({0, 5, 3, 0xA1}), R2 = b({0, 5, 4, 0xB2}), R3 = b({0, 6, 0, 0xC3});

INSTANTIATE_TEST_SUITE_P(
    ReplyCache, CacheTable,
    ::testing::Values(
        Case{"NewestFirstForASharedPrefix",
             4,
             {{S::Store, b({0, 5, 3}), R1},
              {S::Store, b({0, 5, 4}), R2},
              {S::Hit, b({0, 5}), R2},
              {S::Hit, b({0, 5, 3}), R1},
              {S::Miss, b({0, 5, 3, 7}), {}}},
             2,
             2},
        Case{"RingOverwritesTheOldest",
             2,
             {{S::Store, b({0, 5, 3}), R1},
              {S::Store, b({0, 5, 4}), R2},
              {S::Store, b({0, 6, 0}), R3},
              {S::Miss, b({0, 5, 3}), {}},
              {S::Hit, b({0, 5, 4}), R2},
              {S::Hit, b({0, 6, 0}), R3}},
             2,
             1},
        Case{"SameRequestIsOverwrittenInPlace",
             4,
             {{S::Store, b({0, 5, 3}), R1}, {S::Store, b({0, 5, 3}), R2}, {S::Hit, b({0, 5, 3}), R2}},
             1,
             1},
        Case{"LifetimeIsStrict",  // item 1 lives 2000 ms
             4,
             {{S::Store, b({0, 1, 0}), R1, 0}, {S::Hit, b({0, 1, 0}), R1, 1999}, {S::Miss, b({0, 1, 0}), {}, 2000}},
             1,
             1},
        Case{"LifetimeByItem",
             8,
             {{S::Store, b({0, 0, 0}), R1, 0},
              {S::Store, b({0, 22, 0}), R1, 0},
              {S::Store, b({0, 47, 0}), R1, 0},
              {S::Store, b({0, 48, 0}), R1, 0},
              {S::Store, b({0, 255, 0}), R1, 0},
              {S::Hit, b({0, 255, 0}), R1, 9},
              {S::Miss, b({0, 255, 0}), {}, 10},
              {S::Miss, b({0, 48, 0}), {}, 10},
              {S::Hit, b({0, 47, 0}), R1, 299},
              {S::Miss, b({0, 47, 0}), {}, 300},
              {S::Miss, b({0, 22, 0}), {}, 300},
              {S::Hit, b({0, 0, 0}), R1, 3599999}},
             5,
             5},
        Case{"OnlyReadRequestsAreKept",
             4,
             {{S::Store, b({1, 5, 3}), R1}, {S::Store, b({14}), R1}, {S::Miss, b({1, 5, 3}), {}}},
             0,
             0},
        Case{"BytesOfAnEarlierOccupantDoNotMatch",
             1,
             {{S::Store, b({0, 5, 3}), R1},
              {S::Store, b({0, 6}), R3},
              {S::Miss, b({0, 6, 3}), {}},
              {S::Hit, b({0, 6, 0}), R3}},
             1,
             0},
        Case{"ClockSetBackIsStale",
             4,
             {{S::Store, b({0, 0, 0}), R1, 1000}, {S::Miss, b({0, 0, 0}), {}, 0}, {S::Hit, b({0, 0, 0}), R1, 1000}},
             1,
             1},
        Case{"EmptyRequestMatchesNothing", 4, {{S::Store, b({0, 5, 3}), R1}, {S::Miss, b({}), {}}}, 1, 1}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ReplyCache, FlushEmptiesButKeepsTheRingPosition)
{
    TReplyCache cache;
    ASSERT_TRUE(cache.Allocate(3));
    const auto r = b({0, 5, 3}), x = b({0, 9});
    cache.Store(r.data(), 3, R1.data(), 4, T0);
    cache.Store(x.data(), 2, R3.data(), 4, T0);
    cache.Flush();
    EXPECT_EQ(cache.CacheCount, 0);
    EXPECT_EQ(cache.CacheNext, 2);
    EXPECT_EQ(cache.Lookup(r.data(), 3, false, T0), nullptr);
    cache.Store(r.data(), 3, R2.data(), 4, T0);
    EXPECT_EQ(cache.CacheCount, 1);
    EXPECT_EQ(cache.CacheNext, 0);
    EXPECT_EQ(cache.Lookup(r.data(), 3, true, T0), &cache.Slot(2));
}

TEST(ReplyCache, CapacityZeroIsOff)
{
    for (int capacity : {0, -5}) {
        TReplyCache cache;
        EXPECT_TRUE(cache.Allocate(capacity));
        EXPECT_EQ(cache.Capacity(), 0);
        const auto r = b({0, 5, 3});
        cache.Store(r.data(), 3, R1.data(), 4, T0);
        EXPECT_EQ(cache.CacheCount, 0);
        EXPECT_EQ(cache.Lookup(r.data(), 3, false, T0), nullptr);
    }
    TReplyCache huge;
    EXPECT_FALSE(huge.Allocate(TReplyCache::MaxCapacity + 1));
    EXPECT_EQ(huge.Capacity(), 0);
}

TEST(ReplyCache, WhatDoesNotFitAFieldIsNotKept)
{
    TReplyCache cache;
    ASSERT_TRUE(cache.Allocate(4));
    const auto r = b({0, 5, 3});
    cache.Store(r.data(), 3, R1.data(), 4, T0);
    // A longer answer to the same request: the older one must not answer on.
    const std::vector<uint8_t> big(257, 0x55);
    cache.Store(r.data(), 3, big.data(), 257, at(1));
    EXPECT_EQ(cache.Lookup(r.data(), 3, true, at(2)), nullptr);
    // A reply of exactly a field's size is kept whole.
    const std::vector<uint8_t> full(256, 0x66);
    cache.Store(r.data(), 3, full.data(), 256, at(3));
    const TCacheEntry* e = cache.Lookup(r.data(), 3, true, at(4));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ReplyLen, 256);
    EXPECT_EQ(e->Reply[255], 0x66);
    // A request of 256 bytes is kept, a longer one never looked up.
    std::vector<uint8_t> longRequest(256, 7);
    longRequest[0] = 0;
    cache.Store(longRequest.data(), 256, R2.data(), 4, at(5));
    EXPECT_NE(cache.Lookup(longRequest.data(), 256, true, at(5)), nullptr);
    longRequest.push_back(7);
    EXPECT_EQ(cache.Lookup(longRequest.data(), 257, false, at(5)), nullptr);
    EXPECT_EQ(cache.CacheCount, 2);
}

TEST(ReplyCache, LifetimeTable)
{
    const struct {
        int item;
        int32_t ms;
    } rows[] = {{0, 3600000}, {1, 2000},   {2, 60000},  {3, 60000}, {4, 120000}, {10, 120000},
                {11, 5000},   {12, 60000}, {15, 60000}, {16, 2000}, {17, 60000}, {21, 60000},
                {22, 300},    {23, 60000}, {46, 60000}, {47, 300},  {48, 10},    {200, 10}};
    for (const auto& row : rows) {
        const uint8_t request[] = {0, static_cast<uint8_t>(row.item), 0};
        EXPECT_EQ(TReplyCache::LifetimeOf(request, 3), row.ms) << "item " << row.item;
    }
    const uint8_t bare[] = {0};
    EXPECT_EQ(TReplyCache::LifetimeOf(bare, 1), TReplyCache::LongItemLifetime);
}

}  // namespace
