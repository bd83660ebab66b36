// What the reliability tests of every format check the same way: no heap
// traffic on the audio thread, a host's main-thread calls while the audio
// thread processes, and calls short of memory. Each format's test supplies
// only its own calls.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "heap_traffic.h"

// `block(i)` for 200 blocks takes nothing from the heap and gives nothing back.
template <class Block>
void ExpectNoHeapTraffic(Block block) {
    const HeapTraffic start = HeapTraffic::Now();
    for (int i = 0; i < 200; ++i) block(i);
    const HeapTraffic audio = HeapTraffic::Now().Since(start);
    EXPECT_EQ(audio.news, 0u);
    EXPECT_EQ(audio.deletes, 0u);
    EXPECT_EQ(audio.mallocs, 0u);
    EXPECT_EQ(audio.frees, 0u);
}

// The audio thread runs `audioBlock(block)`, which answers its bad frames,
// until 3000 blocks and 2000 main-thread steps are done; meanwhile a third
// thread runs `otherBlock()`, which answers whether another instance went
// wrong, and this thread runs `mainStep(step)`, which answers its bad answers.
template <class AudioBlock, class OtherBlock, class MainStep>
void ExpectMainThreadCallsBesideTheAudioThread(AudioBlock audioBlock, OtherBlock otherBlock, MainStep mainStep) {
    std::atomic<bool> done{false};
    std::atomic<int> mainSteps{0};
    int badFrames = 0, otherMismatches = 0, badAnswers = 0;
    std::thread audio([&] {
        for (int block = 0; block < 3000 || mainSteps.load() < 2000; ++block) badFrames += audioBlock(block);
        done = true;
    });
    std::thread third([&] {
        while (!done) otherMismatches += otherBlock();
    });
    while (!done) badAnswers += mainStep(mainSteps.fetch_add(1));
    audio.join();
    third.join();
    EXPECT_EQ(badFrames, 0);
    EXPECT_EQ(otherMismatches, 0);
    EXPECT_EQ(badAnswers, 0);
    EXPECT_GE(mainSteps.load(), 2000);
}

// A state too short to hold the routes: once loaded, the next save allocates.
inline std::vector<std::uint8_t> ShortChunk() {
    const float values[] = {-1000.0f, 5.0f};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(values);
    return {bytes, bytes + sizeof values};
}

// What `call()` answers when the first allocation it makes fails.
template <class Call>
auto Refused(Call call) {
    heap::refusals = 1;
    const auto answer = call();
    heap::refusals = 0;
    return answer;
}
