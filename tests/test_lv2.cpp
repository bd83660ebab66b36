// The LV2 bundle as hosts see it, loaded through lilv from LV2_BUNDLE_PATH
// (default: the one just built): its description against the effect's own,
// routing by the control ports with any buffers and frame counts a host may
// pass, and the transport it reads from time:Position objects.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/log/log.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/time/time.h>

#include "heap_traffic.h"
#include "lv2_host.h"
#include "lv2_options.h"
#include "lv2_ports.h"
#include "lv2_time.h"
#include "patcher_plugin.h"
#include "strict_mode.h"
#include "ttl_string.h"

using namespace lv2_host;

namespace {

constexpr int kChannels = CPatcherPlugin::kChannels;
constexpr int kNone = -1;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The input a control value 0 to 16 routes, or kNone.
int Source(int value) { return value < 16 ? value : kNone; }

// Outputs 1 and 2 carry the finite samples of their sources (kNone: 0), the
// others 0, frame for frame; `inputs` as they were before the run.
void ExpectRouted(const std::vector<float*>& outputs, const std::vector<std::vector<float>>& inputs,
                  std::uint32_t frames, int source1, int source2, const std::string& where) {
    for (std::uint32_t j = 0; j < frames; ++j)
        for (int o = 0; o < kChannels; ++o) {
            const int source = o == 0 ? source1 : o == 1 ? source2 : kNone;
            const float x = source == kNone ? 0.0f : inputs[static_cast<std::size_t>(source)][j];
            ASSERT_EQ(outputs[static_cast<std::size_t>(o)][j], std::isfinite(x) ? x : 0.0f)
                << where << ": output " << o + 1 << ", frame " << j;
        }
}

void ExpectRouted(Instance& plugin, std::uint32_t frames, int source1, int source2, const std::string& where) {
    std::vector<float*> outputs;
    for (auto& channel : plugin.out) outputs.push_back(channel.data());
    ExpectRouted(outputs, plugin.in, frames, source1, source2, where);
}

}  // namespace

TEST(Lv2Bundle, DescribesTheEffectAsItDescribesItself) {
    ASSERT_TRUE(PluginFound());
    Bundle& bundle = Loaded();
    const LilvPlugin* plugin = bundle.plugin;
    EXPECT_TRUE(lilv_plugin_verify(plugin));
    EXPECT_STREQ(lilv_node_as_string(Node(lilv_plugin_get_name(plugin)).node), CPatcherPlugin::Name().c_str());
    EXPECT_STREQ(lilv_node_as_string(Node(lilv_plugin_get_author_name(plugin)).node), CPatcherPlugin::Vendor().c_str());
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    EXPECT_EQ(lilv_nodes_size(required), 0u);
    lilv_nodes_free(required);
    int major = 0, minor = 0, micro = 0;
    ASSERT_EQ(std::sscanf(CPatcherPlugin::Version(), "%d.%d.%d", &major, &minor, &micro), 3);
    for (const auto& [predicate, version] :
         {std::pair{LV2_CORE__minorVersion, 2 * (100 * major + minor)}, {LV2_CORE__microVersion, 2 * micro}}) {
        LilvNodes* values = lilv_plugin_get_value(plugin, bundle.Uri(predicate));
        ASSERT_EQ(lilv_nodes_size(values), 1u) << predicate;
        EXPECT_EQ(lilv_node_as_int(lilv_nodes_get_first(values)), version) << predicate;
        lilv_nodes_free(values);
    }

    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), lv2_ports::kCount);
    const struct {
        std::uint32_t first, count;
        const char* type;
        const char* direction;
        const char* symbol;  // of the first; the others are numbered on, from the parameter names for controls
        const char* group;   // the port group, marked as the plug-in's main input or output
    } kinds[] = {
        {lv2_ports::kFirstInput, kChannels, LV2_CORE__AudioPort, LV2_CORE__InputPort, "in", LV2_PORT_GROUPS__mainInput},
        {lv2_ports::kFirstOutput, kChannels, LV2_CORE__AudioPort, LV2_CORE__OutputPort, "out",
         LV2_PORT_GROUPS__mainOutput},
        {lv2_ports::kFirstControl, lv2_ports::kControls, LV2_CORE__ControlPort, LV2_CORE__InputPort, nullptr, nullptr},
        {lv2_ports::kTime, 1, LV2_ATOM__AtomPort, LV2_CORE__InputPort, "time", nullptr},
    };
    const char* controlSymbols[] = {"routed_to_channel_1", "routed_to_channel_2"};
    for (const auto& kind : kinds)
        for (std::uint32_t i = 0; i < kind.count; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, kind.first + i);
            ASSERT_NE(port, nullptr);
            EXPECT_TRUE(lilv_port_is_a(plugin, port, bundle.Uri(kind.type))) << kind.first + i;
            EXPECT_TRUE(lilv_port_is_a(plugin, port, bundle.Uri(kind.direction))) << kind.first + i;
            const std::string symbol = !kind.symbol       ? controlSymbols[i]
                                       : kind.count == 1 ? kind.symbol
                                                          : kind.symbol + ("_" + std::to_string(i + 1));
            EXPECT_EQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), symbol);
            const bool optional = lilv_port_has_property(plugin, port, bundle.Uri(LV2_CORE__connectionOptional));
            EXPECT_EQ(optional, kind.first == lv2_ports::kTime) << symbol;
            if (kind.group) {
                Node group(lilv_port_get(plugin, port, bundle.Uri(LV2_PORT_GROUPS__group)));
                LilvNodes* main = lilv_plugin_get_value(plugin, bundle.Uri(kind.group));
                ASSERT_NE(group.node, nullptr) << symbol;
                EXPECT_TRUE(main && lilv_nodes_contains(main, group.node)) << symbol;
                lilv_nodes_free(main);
            }
        }
    // The outputs are made from the inputs.
    LilvNodes* inputs = lilv_plugin_get_value(plugin, bundle.Uri(LV2_PORT_GROUPS__mainInput));
    LilvNodes* outputs = lilv_plugin_get_value(plugin, bundle.Uri(LV2_PORT_GROUPS__mainOutput));
    ASSERT_TRUE(inputs && outputs);
    EXPECT_TRUE(lilv_world_ask(bundle.world, lilv_nodes_get_first(outputs), bundle.Uri(LV2_PORT_GROUPS__source),
                               lilv_nodes_get_first(inputs)));
    lilv_nodes_free(inputs);
    lilv_nodes_free(outputs);
    const LilvPort* time = lilv_plugin_get_port_by_index(plugin, lv2_ports::kTime);
    EXPECT_TRUE(lilv_port_supports_event(plugin, time, bundle.Uri(LV2_TIME__Position)));
    // Every feature it uses is optional, the host's log among them.
    LilvNodes* optional = lilv_plugin_get_optional_features(plugin);
    for (const char* feature : {LV2_URID__map, LV2_OPTIONS__options, LV2_LOG__log})
        EXPECT_TRUE(lilv_nodes_contains(optional, bundle.Uri(feature))) << feature;
    lilv_nodes_free(optional);

    // Each control port is its parameter: name, range, default and every value named as the effect names it.
    for (std::int32_t p = 0; p < CPatcherPlugin::ParameterCount(); ++p) {
        const TPatcherParameter& parameter = *CPatcherPlugin::ParameterInfo(p);
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, lv2_ports::kFirstControl + std::uint32_t(p));
        EXPECT_STREQ(lilv_node_as_string(Node(lilv_port_get_name(plugin, port)).node), parameter.Name.c_str());
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin, port, &def, &min, &max);
        const Node d(def), lo(min), hi(max);
        EXPECT_EQ(lilv_node_as_float(d.node), parameter.Default) << p;
        EXPECT_EQ(lilv_node_as_float(lo.node), parameter.Min) << p;
        EXPECT_EQ(lilv_node_as_float(hi.node), parameter.Max) << p;
        for (const char* property : {LV2_CORE__integer, LV2_CORE__enumeration})
            EXPECT_TRUE(lilv_port_has_property(plugin, port, bundle.Uri(property))) << p << " " << property;
        std::map<float, std::string> named;
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        LILV_FOREACH (scale_points, i, points) {
            const LilvScalePoint* point = lilv_scale_points_get(points, i);
            named[lilv_node_as_float(lilv_scale_point_get_value(point))] =
                lilv_node_as_string(lilv_scale_point_get_label(point));
        }
        lilv_scale_points_free(points);
        ASSERT_EQ(named.size(), parameter.Choices.size()) << p;
        for (std::size_t v = 0; v < parameter.Choices.size(); ++v)
            EXPECT_EQ(named[static_cast<float>(v)], parameter.Choices[v]) << p << " " << v;
    }
}

// Names reach the TTL as Turtle string literals a reader takes back unchanged.
TEST(Lv2Ttl, StringsAreEscapedAsTurtleRequires) {
    const struct {
        std::string text, literal;
    } cases[] = {
        {"input channel 5", R"("input channel 5")"},
        {"", R"("")"},
        {R"(say "none")", R"("say \"none\"")"},
        {R"(C:\dir)", R"("C:\\dir")"},
        {"two\nlines\r\n", R"("two\nlines\r\n")"},
        {"tab\tbell\afeed\fback\b", R"("tab\tbell\u0007feed\fback\b")"},
        {std::string("nul\0end", 7), R"("nul\u0000end")"},
        {"\x1f\x7f~", R"("\u001F\u007F~")"},
        {"caf\xc3\xa9 \xe2\x86\x92 \xf0\x9f\x8e\xb5", "\"caf\xc3\xa9 \xe2\x86\x92 \xf0\x9f\x8e\xb5\""},
        {"bad \xff\xc3", R"("bad \uFFFD\uFFFD")"},
        {"\xc0\xaf overlong", R"("\uFFFD\uFFFD overlong")"},
        {"\xed\xa0\x80 surrogate", R"("\uFFFD\uFFFD\uFFFD surrogate")"},
        {"\xf4\x90\x80\x80 too high", R"("\uFFFD\uFFFD\uFFFD\uFFFD too high")"},
        {"cut \xe2\x86", R"("cut \uFFFD\uFFFD")"},
    };
    for (const auto& c : cases) EXPECT_EQ(TtlString(c.text), c.literal) << c.literal;
}

// Hosts compare minor, then micro, hide a minor of 0 and take odd numbers
// for development builds: releases must sort as their versions do.
TEST(Lv2Bundle, VersionsSortAsReleasesAndTheManifestSaysTheSame) {
    const auto dir = std::filesystem::temp_directory_path() / ("lv2_versions_" + std::to_string(getpid()));
    const auto generate = [&](const std::string& version) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        const std::string command = std::string(LV2_TTL_TOOL) + " '" + dir.string() + "' multichannel_patcher.so '" +
                                    version + "' 2>/dev/null";
        return std::system(command.c_str()) == 0;
    };
    // What the manifest alone says, or with the plug-in's TTL: one value,
    // else -1 (two when they disagree).
    const auto read = [&](bool manifestOnly, const char* predicate) {
        LilvWorld* world = lilv_world_new();
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, (dir.string() + "/").c_str());
        lilv_world_load_bundle(world, bundle);
        LilvNode* subject = lilv_new_uri(world, lv2_ports::kUri);
        if (!manifestOnly) lilv_world_load_resource(world, subject);
        LilvNode* property = lilv_new_uri(world, predicate);
        LilvNodes* values = lilv_world_find_nodes(world, subject, property, nullptr);
        const LilvNode* value = lilv_nodes_size(values) == 1 ? lilv_nodes_get_first(values) : nullptr;
        const int number = value && lilv_node_is_int(value) ? lilv_node_as_int(value) : -1;
        lilv_nodes_free(values);
        for (LilvNode* node : {property, subject, bundle}) lilv_node_free(node);
        lilv_world_free(world);
        return number;
    };
    const char* releases[] = {"0.1.0", "1.0.0", "1.0.1", "1.0.2", "1.1.0", "1.2.0", "1.99.0", "2.0.0", "10.0.0", "100.1.99"};
    std::pair<int, int> last{-1, -1};
    for (const char* release : releases) {
        ASSERT_TRUE(generate(release)) << release;
        const std::pair<int, int> version{read(false, LV2_CORE__minorVersion), read(false, LV2_CORE__microVersion)};
        EXPECT_GT(version, last) << release;
        EXPECT_GT(version.first, 0) << release;
        EXPECT_EQ(version.first % 2, 0) << release;
        EXPECT_EQ(version.second % 2, 0) << release;
        EXPECT_EQ(read(true, LV2_CORE__minorVersion), version.first) << release;
        EXPECT_EQ(read(true, LV2_CORE__microVersion), version.second) << release;
        last = version;
    }
    for (const char* unmappable : {"1.100.0", "0.0.5", "1.2", "1.2.3.4", "1.2.x", "-1.0.0", ""})
        EXPECT_FALSE(generate(unmappable)) << unmappable;
    std::filesystem::remove_all(dir);
}

TEST(Lv2Bundle, ControlPortsRouteEveryInputAndNoneWhateverTheirValues) {
    ASSERT_TRUE(PluginFound());
    Instance plugin;  // no features at all
    ASSERT_NE(plugin.instance, nullptr);
    plugin.Fill(8);
    plugin.Run(8);
    ExpectRouted(plugin, 8, 0, 1, "defaults");
    for (int v1 = 0; v1 <= 16; ++v1)
        for (int v2 = 0; v2 <= 16; ++v2) {
            plugin.control[0] = static_cast<float>(v1);
            plugin.control[1] = static_cast<float>(v2);
            plugin.Run(8);
            ExpectRouted(plugin, 8, Source(v1), Source(v2), std::to_string(v1) + "/" + std::to_string(v2));
        }
    // LV2's limits are hints: values outside them route as the nearest valid
    // one, non-finite ones leave the routing as it was.
    const struct {
        float value;
        int source;
    } odd[] = {{7.0f, 7},    {-3.0f, 0},     {2.49f, 2},     {2.5f, 3},       {15.5f, kNone}, {1e30f, kNone},
               {9.0f, 9},    {kNaN, 9},      {kInf, 9},      {-kInf, 9},      {-1e30f, 0},    {-0.0f, 0}};
    for (const auto& c : odd) {
        plugin.control[0] = c.value;
        plugin.control[1] = c.value;
        plugin.Run(8);
        ExpectRouted(plugin, 8, c.source, c.source, "value " + std::to_string(c.value));
    }
}

// Hosts may hand an output the buffer of an input (Ardour gives out_k in_k's
// on a 16-channel track), or buffers that partly overlap: the outputs are
// what separate buffers give.
TEST(Lv2Bundle, OutputsOnInputBuffersAreWhatSeparateBuffersGive) {
    constexpr std::uint32_t kFrames = 300;
    const struct {
        const char* name;
        int input;     // whose buffer output k gets, counted from k
        int offset;    // frames after that buffer's start
    } layouts[] = {{"in place", 0, 0}, {"next input", 1, 0}, {"last input first", 15, 0},
                   {"partly overlapping", 0, 7}, {"overlapping the next", 1, -100}};
    const std::pair<int, int> routings[] = {{0, 1}, {1, 0}, {15, 2}, {3, 16}};
    // One instance and the same inputs throughout: only where the outputs go changes.
    ASSERT_TRUE(PluginFound());
    Instance plugin;
    std::vector<float> pool(kChannels * 1000);
    std::vector<float*> inputs;
    for (int c = 0; c < kChannels; ++c) inputs.push_back(pool.data() + 1000 * c + 300);
    for (const auto& layout : layouts)
        for (const auto& [v1, v2] : routings) {
            std::vector<float*> outputs;
            std::vector<std::vector<float>> before;
            for (int c = 0; c < kChannels; ++c) {
                for (std::uint32_t j = 0; j < kFrames; ++j) inputs[std::size_t(c)][j] = Instance::Tone(c, j);
                before.emplace_back(inputs[std::size_t(c)], inputs[std::size_t(c)] + kFrames);
                outputs.push_back(inputs[std::size_t((c + layout.input) % kChannels)] + layout.offset);
            }
            for (std::uint32_t c = 0; c < kChannels; ++c) {
                plugin.Connect(lv2_ports::kFirstInput + c, inputs[c]);
                plugin.Connect(lv2_ports::kFirstOutput + c, outputs[c]);
            }
            plugin.control[0] = float(v1);
            plugin.control[1] = float(v2);
            plugin.Run(kFrames);
            ExpectRouted(outputs, before, kFrames, Source(v1), Source(v2),
                         std::string(layout.name) + " " + std::to_string(v1) + "/" + std::to_string(v2));
        }
}

TEST(Lv2Bundle, AnyFrameCountWithoutAnnouncedBlockSizeAndNonFiniteInputs) {
    ASSERT_TRUE(PluginFound());
    Instance plugin(Instance::kNoFeatures, 9000);
    // 0 and 1 frames, and more than the plug-in stages at once when a host
    // announces nothing; routing changes between 1-frame runs.
    const struct {
        std::uint32_t frames;
        int v1, v2;
    } runs[] = {{0, 4, 5}, {1, 4, 5}, {1, 16, 2}, {1, 9, 9}, {2, 0, 16}, {4097, 12, 3}, {9000, 1, 14}, {0, 2, 2}};
    for (const auto& run : runs) {
        plugin.Fill(run.frames, true);
        plugin.control[0] = float(run.v1);
        plugin.control[1] = float(run.v2);
        plugin.Run(run.frames);
        ExpectRouted(plugin, run.frames, Source(run.v1), Source(run.v2),
                     std::to_string(run.frames) + " frames");
    }
}

namespace {

// A time:Position field as a host may send it: any numeric atom.
struct Field {
    const char* key;
    char type;  // i, l, f or d
    double value;
};

struct Event {
    std::int64_t frame;
    std::vector<Field> fields;
    const char* otype = LV2_TIME__Position;
};

// A sequence of objects, in a buffer a host would pass.
class Sequence {
public:
    // Event times are frames, or beats in a sequence whose unit is atom:beatTime.
    Sequence(UridMap& urids, const std::vector<Event>& events, bool inBeats = false) {
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &urids.map);
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(buffer), sizeof buffer);
        LV2_Atom_Forge_Frame sequence, object;
        lv2_atom_forge_sequence_head(&forge, &sequence, inBeats ? urids(LV2_ATOM__beatTime) : 0);
        for (const Event& event : events) {
            if (inBeats)
                lv2_atom_forge_beat_time(&forge, static_cast<double>(event.frame));
            else
                lv2_atom_forge_frame_time(&forge, event.frame);
            lv2_atom_forge_object(&forge, &object, 0, urids(event.otype));
            for (const Field& field : event.fields) {
                lv2_atom_forge_key(&forge, urids(field.key));
                switch (field.type) {
                case 'i': lv2_atom_forge_int(&forge, static_cast<std::int32_t>(field.value)); break;
                case 'l': lv2_atom_forge_long(&forge, static_cast<std::int64_t>(field.value)); break;
                case 'f': lv2_atom_forge_float(&forge, static_cast<float>(field.value)); break;
                default: lv2_atom_forge_double(&forge, field.value); break;
                }
            }
            lv2_atom_forge_pop(&forge, &object);
        }
        lv2_atom_forge_pop(&forge, &sequence);
    }
    const LV2_Atom_Sequence* Get() const { return reinterpret_cast<const LV2_Atom_Sequence*>(buffer); }

private:
    alignas(8) std::uint64_t buffer[512] = {};
};

}  // namespace

// Positions at a block's first frame count for that block, later ones from
// the next; in between the position moves on at the tempo while playing.
TEST(Lv2Time, PositionsGiveTheTransportAndMoveOnBetweenThem) {
    UridMap urids;
    CLv2Time time(&urids.map);
    const std::vector<Field> start = {{LV2_TIME__beatsPerMinute, 'd', 120}, {LV2_TIME__speed, 'f', 1},
                                      {LV2_TIME__beatsPerBar, 'f', 3},      {LV2_TIME__beatUnit, 'i', 8},
                                      {LV2_TIME__bar, 'l', 2},              {LV2_TIME__barBeat, 'f', 1.5}};
    const struct {
        std::uint32_t frames;
        std::vector<Event> events;
        bool known;
        double quarterNotes, tempo, numerator, denominator;
        bool playing;
    } steps[] = {
        {480, {}, false, 0, 0, 0, 0, false},
        {480, {{0, {}, LV2_TIME__Rate}}, false, 0, 0, 0, 0, false},  // not a position
        // (2 bars of 3 + 1.5) eighths = 3.75 quarters, then 2 eighths a second
        {480, {{0, start}}, true, 3.75, 120, 3, 8, true},
        {24000, {}, true, 3.76, 120, 3, 8, true},
        {480, {{240, {{LV2_TIME__speed, 'd', 0}, {LV2_TIME__bar, 'i', 0}, {LV2_TIME__barBeat, 'd', 0}}}}, true, 4.26,
         120, 3, 8, true},
        {480, {}, true, 0, 120, 3, 8, false},
        // Non-finite values change nothing; without a bar the beat count tells.
        {100, {{0, {{LV2_TIME__beatsPerMinute, 'd', kNaN}, {LV2_TIME__beatUnit, 'l', 4}, {LV2_TIME__beat, 'd', 6}}}},
         true, 6, 120, 3, 4, false},
        // Out of order, the later event counts at the earlier one's frame.
        {400, {{300, {{LV2_TIME__speed, 'f', 2}}}, {100, {{LV2_TIME__beatsPerMinute, 'f', 60}}}}, true, 6, 120, 3, 4, false},
        {48000, {}, true, 6 + 2.0 * 100 / 48000, 60, 3, 4, true},
        {1, {}, true, 8 + 2.0 * 100 / 48000, 60, 3, 4, true},
    };
    for (std::size_t s = 0; s < std::size(steps); ++s) {
        const auto& step = steps[s];
        const Sequence sequence(urids, step.events);
        int renders = 0;
        time.Run(sequence.Get(), step.frames, 48000.0, [&](const TPatcherTransport* transport) {
            ++renders;
            ASSERT_EQ(transport != nullptr, step.known) << "step " << s;
            if (!transport) return;
            EXPECT_NEAR(transport->QuarterNotes, step.quarterNotes, 1e-9) << "step " << s;
            EXPECT_TRUE(transport->HasPosition && transport->HasTempo && transport->HasTimeSignature) << "step " << s;
            EXPECT_EQ(transport->Tempo, step.tempo) << "step " << s;
            EXPECT_EQ(transport->TimeSigNumerator, step.numerator) << "step " << s;
            EXPECT_EQ(transport->TimeSigDenominator, step.denominator) << "step " << s;
            EXPECT_EQ(transport->Playing, step.playing) << "step " << s;
            EXPECT_FALSE(transport->Recording);
        });
        EXPECT_EQ(renders, 1) << "step " << s;
    }

    // Without a map nothing can be recognised, and a null sequence is none.
    CLv2Time blind(nullptr);
    const Sequence sequence(urids, {{0, start}});
    for (const LV2_Atom_Sequence* events : {sequence.Get(), static_cast<const LV2_Atom_Sequence*>(nullptr)})
        blind.Run(events, 64, 48000.0, [](const TPatcherTransport* transport) { EXPECT_EQ(transport, nullptr); });
}

// Events stamped in beats go at the block's start, whatever their stamp;
// frame stamps after the first frame count from the next block.
TEST(Lv2Time, BeatStampedPositionsCountFromTheBlocksStart) {
    UridMap urids;
    const std::vector<Field> rolling = {{LV2_TIME__beatsPerMinute, 'd', 120}, {LV2_TIME__speed, 'f', 1}};
    const struct {
        std::int64_t stamp;
        bool inBeats, known;
    } cases[] = {{0, false, true}, {100, false, false}, {0, true, true}, {1, true, true}, {3, true, true}};
    for (const auto& c : cases) {
        CLv2Time time(&urids.map);
        const Sequence sequence(urids, {{c.stamp, rolling}}, c.inBeats);
        time.Run(sequence.Get(), 480, 48000.0, [&](const TPatcherTransport* transport) {
            EXPECT_EQ(transport != nullptr, c.known) << c.stamp << (c.inBeats ? " beats" : " frames");
        });
    }
}

// Activation forgets what earlier runs were told: with no new position the
// transport is unknown, not still rolling.
TEST(Lv2Time, ResetForgetsTheTransport) {
    UridMap urids;
    const Sequence rolling(urids, {{0, {{LV2_TIME__beatsPerMinute, 'd', 120}, {LV2_TIME__speed, 'f', 1},
                                        {LV2_TIME__beat, 'd', 8}}}});
    const Sequence empty(urids, {});
    for (bool reset : {false, true}) {
        CLv2Time time(&urids.map);
        time.Run(rolling.Get(), 480, 48000.0, [](const TPatcherTransport*) {});
        if (reset) time.Reset();
        time.Run(empty.Get(), 480, 48000.0, [&](const TPatcherTransport* transport) {
            EXPECT_EQ(transport != nullptr, !reset);
            if (transport) {
                EXPECT_TRUE(transport->Playing);
            }
        });
    }
}

TEST(Lv2Options, BlockSizeIsTheAnnouncedMaximumElseTheNominalElseUnknown) {
    UridMap urids;
    const LV2_URID intType = urids(LV2_ATOM__Int), floatType = urids(LV2_ATOM__Float);
    const LV2_URID max = urids(LV2_BUF_SIZE__maxBlockLength), nominal = urids(LV2_BUF_SIZE__nominalBlockLength);
    const std::int32_t v256 = 256, v64 = 64, v0 = 0;
    const float f512 = 512.0f;
    const auto option = [&](LV2_URID key, LV2_URID type, const void* value, LV2_Options_Context context = LV2_OPTIONS_INSTANCE) {
        return LV2_Options_Option{context, 0, key, 4, type, value};
    };
    const LV2_Options_Option end{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    const struct {
        std::vector<LV2_Options_Option> options;
        std::int32_t length;
    } cases[] = {
        {{option(nominal, intType, &v64), option(max, intType, &v256)}, 256},
        {{option(max, intType, &v0), option(nominal, intType, &v64)}, 64},
        {{option(max, floatType, &f512)}, 0},
        {{option(max, intType, &v256, LV2_OPTIONS_PORT)}, 0},
        {{}, 0},
    };
    for (const auto& c : cases) {
        std::vector<LV2_Options_Option> options = c.options;
        options.push_back(end);
        EXPECT_EQ(Lv2BlockLength(options.data(), &urids.map), c.length);
        EXPECT_EQ(Lv2BlockLength(options.data(), nullptr), 0);
    }
    EXPECT_EQ(Lv2BlockLength(nullptr, &urids.map), 0);
}

// With a map, options and a time port, as full hosts run it: routing as
// without them, and run() never touches the heap.
TEST(Lv2AudioThread, RunWithTimePositionsNeverTouchesTheHeap) {
    if (!kCountsLibrary) GTEST_SKIP() << "the library's allocations cannot be counted from here";
    UridMap urids;
    const std::int32_t maxBlock = 512;
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, urids(LV2_BUF_SIZE__maxBlockLength), 4, urids(LV2_ATOM__Int), &maxBlock},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature map{LV2_URID__map, &urids.map}, optionFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&map, &optionFeature, nullptr};
    ASSERT_TRUE(PluginFound());
    Instance plugin(features);
    ASSERT_NE(plugin.instance, nullptr);
    const Sequence positions(urids, {{0, {{LV2_TIME__beatsPerMinute, 'd', 100}, {LV2_TIME__speed, 'f', 1},
                                          {LV2_TIME__bar, 'l', 4}, {LV2_TIME__beatsPerBar, 'f', 4},
                                          {LV2_TIME__beatUnit, 'i', 4}}},
                                     {200, {{LV2_TIME__speed, 'f', 0}}}});
    const Sequence empty(urids, {});
    plugin.Fill(512);

    const HeapTraffic start = HeapTraffic::Now();
    for (int i = 0; i < 200; ++i) {
        plugin.Connect(lv2_ports::kTime, const_cast<LV2_Atom_Sequence*>(i % 3 ? empty.Get() : positions.Get()));
        plugin.control[i % 2] = float(i % 17);
        plugin.Run(i % 7 == 0 ? 0 : 512);
    }
    const HeapTraffic audio = HeapTraffic::Now().Since(start);
    EXPECT_EQ(audio.news, 0u);
    EXPECT_EQ(audio.deletes, 0u);
    EXPECT_EQ(audio.mallocs, 0u);
    EXPECT_EQ(audio.frees, 0u);

    plugin.Connect(lv2_ports::kTime, nullptr);
    plugin.Run(512);
    ExpectRouted(plugin, 512, 198 % 17, 199 % 17, "after the runs");
}

// What the host's log feature was told, line by line.
struct HostLog {
    static int Printf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
        char line[512];
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        static_cast<HostLog*>(handle)->lines.push_back({type, line});
        return n;
    }
    static int Vprintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args) {
        char line[512];
        const int n = std::vsnprintf(line, sizeof line, format, args);
        static_cast<HostLog*>(handle)->lines.push_back({type, line});
        return n;
    }
    std::vector<std::pair<LV2_URID, std::string>> lines;
    LV2_Log_Log log{this, Printf, Vprintf};
};

// Ports that do not exist and runs outside activation are answered as
// before, and told once an activation, never from run(): through the host's
// log when it gives one with a map, else on standard error.
TEST(Lv2Host, MisbehaviourIsToldOnceAnActivationThroughTheHostsLog) {
    ASSERT_TRUE(PluginFound());
    const StrictModeOff onPurpose;
    for (const bool logs : {true, false}) {
        SCOPED_TRACE(logs ? "with a log" : "without one");
        UridMap urids;
        HostLog log;
        const LV2_Feature map{LV2_URID__map, &urids.map}, logFeature{LV2_LOG__log, &log.log};
        const LV2_Feature* features[] = {&map, logs ? &logFeature : nullptr, nullptr};
        testing::internal::CaptureStderr();
        {
            Instance plugin(features, 64);
            plugin.Connect(lv2_ports::kCount, nullptr);
            plugin.Connect(lv2_ports::kCount + 7, nullptr);
            plugin.Run(64);
            EXPECT_TRUE(log.lines.empty());
            lilv_instance_deactivate(plugin.instance);
            // Run before activation: rendered all the same.
            plugin.control[0] = 16.0f;
            plugin.Fill(64);
            plugin.Run(64);
            ExpectRouted(plugin, 64, kNone, 1, "run while inactive");
            lilv_instance_activate(plugin.instance);
            plugin.Connect(lv2_ports::kCount, nullptr);
            lilv_instance_deactivate(plugin.instance);
            lilv_instance_activate(plugin.instance);
        }
        const std::string errors = testing::internal::GetCapturedStderr();
        const std::vector<std::string> told = {
            "connect_port() named a port the plug-in does not have: ignored\n",
            "run or deactivated while not active: the host skipped activate()\n",
            "connect_port() named a port the plug-in does not have: ignored\n"};
        if (logs) {
            EXPECT_EQ(errors, "");
            ASSERT_EQ(log.lines.size(), told.size());
            for (std::size_t i = 0; i < told.size(); ++i) {
                EXPECT_EQ(log.lines[i].first, urids(LV2_LOG__Warning));
                EXPECT_EQ(log.lines[i].second, told[i]);
            }
        } else {
            std::string expected;
            for (const std::string& line : told) expected += "multichannel_patcher: " + line;
            EXPECT_EQ(errors, expected);
        }
    }
}
