// What every format shares, written once and run for each: the routing
// table, a change within a block, state that round-trips and passes between
// formats, hostile values, and outputs reported silent. A new case for all
// formats goes here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <utility>

#include "format_driver.h"

#if defined(FORMATS_WITH_LV2)
#include "lv2_host.h"
#endif

namespace {

#if defined(FORMATS_WITH_LV2)
// Through lilv: the control ports route, and are the whole state; a value
// takes effect with a run, so a change outside processing runs no frames,
// and one within a block splits it, as LV2 hosts do.
class Lv2Driver : public SplitBlockDriver {
public:
    void Start(int) override {}
    void Route(int step1, int step2) override {
        plugin.control[0] = static_cast<float>(step1);
        plugin.control[1] = static_cast<float>(step2);
        plugin.Run(0);
    }
    void SetNative(int parameter, double value) override {
        plugin.control[parameter] = static_cast<float>(value);
        plugin.Run(0);
    }
    float Output(int channel, int frame) const override { return plugin.out[channel][frame]; }
    bool HasState() const override { return false; }
    std::vector<std::uint8_t> Save() override { return {}; }
    bool Load(const std::vector<std::uint8_t>&) override { return false; }

private:
    float* Inputs(int channel) override { return plugin.in[channel].data(); }
    // Within a block, without the run of no frames a route outside one takes.
    void Apply(const RouteChange& change) override {
        plugin.control[0] = static_cast<float>(change.step1);
        plugin.control[1] = static_cast<float>(change.step2);
    }
    void Run(int from, int to) override {
        for (std::uint32_t c = 0; c < kChannels; ++c) {
            plugin.Connect(lv2_ports::kFirstInput + c, plugin.in[c].data() + from);
            plugin.Connect(lv2_ports::kFirstOutput + c, plugin.out[c].data() + from);
        }
        plugin.Run(static_cast<std::uint32_t>(to - from));
    }

    lv2_host::Instance plugin;
};
#endif

struct Format {
    const char* name;
    std::unique_ptr<FormatDriver> (*make)();
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

template <class Driver>
std::unique_ptr<FormatDriver> Make() {
    return std::make_unique<Driver>();
}

const std::vector<Format>& Formats() {
    static const std::vector<Format> formats = {
        {"Vst2", Make<Vst2Driver>},
        {"Clap", Make<ClapDriver>},
        {"Vst3", Make<Vst3Driver>},
#if defined(FORMATS_WITH_LV2)
        {"Lv2", Make<Lv2Driver>},
#endif
    };
    return formats;
}

constexpr int kNone = 16;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The input a step routes (0-based), or -1, as Sources() reads it.
int Source(int step) { return step == kNone ? -1 : step; }

std::pair<int, int> Routes(const FormatDriver& driver) { return ::Sources(DriverOutputs<float>{driver}); }

std::vector<std::uint8_t> Chunk(std::vector<float> values) {
    std::vector<std::uint8_t> bytes(values.size() * sizeof(float));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

class EveryFormat : public testing::TestWithParam<Format> {
protected:
    std::unique_ptr<FormatDriver> Started(int maxFrames = 512) const {
        auto driver = GetParam().make();
        driver->Start(maxFrames);
        return driver;
    }
};

TEST_P(EveryFormat, RoutesAnyInputOrNoneToEitherOutputAndSilencesTheRest) {
    auto plugin = Started();
    plugin->Process(64);
    EXPECT_EQ(Routes(*plugin), std::pair(0, 1)) << "defaults";
    for (int step1 = 0; step1 <= kNone; ++step1)
        for (int step2 = 0; step2 <= kNone; ++step2) {
            plugin->Route(step1, step2);
            plugin->Process(64);
            ASSERT_EQ(Routes(*plugin), std::pair(Source(step1), Source(step2))) << step1 << "/" << step2;
            ASSERT_EQ(BadFrames(DriverOutputs<float>{*plugin}), 0) << step1 << "/" << step2;
        }
}

TEST_P(EveryFormat, ChangeWithinABlockTakesEffectAtItsFrame) {
    auto plugin = Started();
    for (const RouteChange change : {RouteChange{0, 9, kNone}, RouteChange{1, 15, 4}, RouteChange{17, kNone, 0},
                                     RouteChange{63, 7, 7}}) {
        plugin->Route(2, 3);
        plugin->Process(64, &change);
        for (int j = 0; j < 64; ++j) {
            const bool after = j >= change.at;
            const int source1 = after ? Source(change.step1) : 2, source2 = after ? Source(change.step2) : 3;
            ASSERT_EQ(plugin->Output(0, j), source1 < 0 ? 0.0f : Tagged<float>(source1, j)) << "at " << change.at;
            ASSERT_EQ(plugin->Output(1, j), source2 < 0 ? 0.0f : Tagged<float>(source2, j)) << "at " << change.at;
        }
        EXPECT_EQ(BadFrames(DriverOutputs<float>{*plugin}), 0);
    }
}

TEST_P(EveryFormat, StateRoundTripsIntoAFreshInstance) {
    auto plugin = Started();
    if (!plugin->HasState()) GTEST_SKIP() << "the parameters are the whole state";
    plugin->Route(14, kNone);
    const std::vector<std::uint8_t> saved = plugin->Save();
    ASSERT_EQ(saved.size(), 260u);
    float marker;
    std::memcpy(&marker, saved.data(), sizeof marker);
    EXPECT_EQ(marker, -1000.0f);

    auto fresh = Started();
    ASSERT_TRUE(fresh->Load(saved));
    fresh->Process(32);
    EXPECT_EQ(Routes(*fresh), std::pair(14, -1));
    EXPECT_EQ(fresh->Save(), saved);
}

// One effect, one state: what any format saves, every other loads.
TEST_P(EveryFormat, LoadsTheStateEveryOtherFormatSaves) {
    auto plugin = Started();
    if (!plugin->HasState()) GTEST_SKIP() << "the parameters are the whole state";
    int step = 0;
    for (const Format& other : Formats()) {
        auto from = other.make();
        from->Start(512);
        if (!from->HasState()) continue;
        const int step1 = (3 + 5 * step) % 17, step2 = (16 - 3 * step++) % 17;
        from->Route(step1, step2);
        const std::vector<std::uint8_t> saved = from->Save();
        ASSERT_TRUE(plugin->Load(saved)) << "from " << other.name;
        plugin->Process(32);
        EXPECT_EQ(Routes(*plugin), std::pair(Source(step1), Source(step2))) << "from " << other.name;
        EXPECT_EQ(plugin->Save(), saved) << "from " << other.name;
    }
}

// Non-finite parameter values leave the routing as it was; non-finite
// samples come out as silence; chunks that are no state change nothing.
TEST_P(EveryFormat, HostileValuesLeaveTheRoutingAndOutputsDefined) {
    auto plugin = Started();
    plugin->Route(5, 9);
    for (int parameter : {0, 1}) plugin->SetNative(parameter, kNaN);
    plugin->Process(32);
    EXPECT_EQ(Routes(*plugin), std::pair(5, 9)) << "after NaN values";

    plugin->input = [](int c, int j) { return j % 5 == 2 ? (c % 2 ? kNaN : -kInf) : j % 7 == 3 ? kInf : Tagged<float>(c, j); };
    plugin->Process(64);
    for (int j = 0; j < 64; ++j)
        for (int c = 0; c < FormatDriver::kChannels; ++c) {
            const int source = c == 0 ? 5 : c == 1 ? 9 : -1;
            const float x = source < 0 ? 0.0f : plugin->input(source, j);
            ASSERT_EQ(plugin->Output(c, j), std::isfinite(x) ? x : 0.0f) << "output " << c + 1 << ", frame " << j;
        }
    plugin->input = Tagged<float>;

    if (!plugin->HasState()) return;
    for (const auto& foreign : {std::vector<std::uint8_t>{}, Chunk({1000.0f, 3.0f, 4.0f}), Chunk({-999.0f, 3.0f}),
                                std::vector<std::uint8_t>(260, 0xff)}) {
        plugin->Load(foreign);
        plugin->Process(32);
        EXPECT_EQ(Routes(*plugin), std::pair(5, 9)) << foreign.size() << " bytes";
    }
}

// Where a format reports silent outputs, it reports exactly those that are:
// outputs 3 to 16 always, 1 and 2 when routed to none.
TEST_P(EveryFormat, ReportsTheOutputsThatAreSilent) {
    auto plugin = Started();
    plugin->Process(16);
    if (!plugin->SilentOutputs()) GTEST_SKIP() << "the format reports no silence";
    for (const auto& [step1, step2] : {std::pair(0, 1), std::pair(kNone, 3), std::pair(4, kNone), std::pair(kNone, kNone)}) {
        plugin->Route(step1, step2);
        plugin->Process(48);
        const std::uint64_t expected = 0xfffc | (step1 == kNone ? 1u : 0u) | (step2 == kNone ? 2u : 0u);
        EXPECT_EQ(*plugin->SilentOutputs(), expected) << step1 << "/" << step2;
        for (int c = 0; c < FormatDriver::kChannels; ++c) {
            if (!(expected >> c & 1)) continue;
            for (int j = 0; j < 48; ++j) ASSERT_EQ(plugin->Output(c, j), 0.0f) << "output " << c + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat, testing::ValuesIn(Formats()),
                         [](const testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

}  // namespace
