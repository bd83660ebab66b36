// A host's whole use of an instance, a hundred times over: what each cycle
// takes from the heap, it gives back. The first cycle may make what a module
// keeps for good, so it is not counted.
#pragma once

#include <gtest/gtest.h>

#include <utility>

#include "heap_traffic.h"

// `cycle(i, step)` routes output 1 by `step` (16: none) and output 2 to
// input 4, processes a block of tagged inputs and answers its Sources().
template <class Cycle>
void ExpectHundredCyclesLeaveNothingBehind(Cycle cycle) {
    const auto routed = [&](int i) { return cycle(i, i % 17) == std::pair(i % 17 == 16 ? -1 : i % 17, 3); };
    ASSERT_TRUE(routed(0));
    const HeapTraffic start = HeapTraffic::Now();
    int wrong = 0;
    for (int i = 1; i <= 100; ++i) wrong += !routed(i);
    const HeapTraffic used = HeapTraffic::Now().Since(start);
    EXPECT_EQ(wrong, 0);
    if (!kCountsLibrary) GTEST_SKIP() << "the library's allocations cannot be counted from here";
    EXPECT_GT(used.news, 100u);
    EXPECT_EQ(used.news, used.deletes);
    EXPECT_EQ(used.mallocs, used.frees);
}
