// A host's whole use of an instance, a hundred times over: what each cycle
// takes from the heap, it gives back. The first cycle may make what a module
// keeps for good, so it is not counted.
#pragma once

#include <gtest/gtest.h>

#include "heap_traffic.h"

// `cycle(i)` answers whether cycle i routed as it should.
template <class Cycle>
void ExpectHundredCyclesLeaveNothingBehind(Cycle cycle) {
    ASSERT_TRUE(cycle(0));
    const HeapTraffic start = HeapTraffic::Now();
    int wrong = 0;
    for (int i = 1; i <= 100; ++i) wrong += !cycle(i);
    const HeapTraffic used = HeapTraffic::Now().Since(start);
    EXPECT_EQ(wrong, 0);
    if (!kCountsLibrary) GTEST_SKIP() << "the library's allocations cannot be counted from here";
    EXPECT_GT(used.news, 100u);
    EXPECT_EQ(used.news, used.deletes);
    EXPECT_EQ(used.mallocs, used.frees);
}
