// Fuzz target: an LV2 host's calls on one instance of the bundle's module,
// loaded as hosts load it. The input is decoded front to back; multi-byte
// numbers are little-endian and every read past the end gives 0. The first
// byte picks the features: bit 0 urid:map, bit 1 options, whose block length
// (4 bytes) follows. Then each step begins with one byte whose value modulo 6
// picks it:
//   0 a control value: port (1 byte, modulo 2), value (1 byte: 0 to 16 that
//     value, else 4 more bytes give any float's bits)
//   1 run: frames (1 byte, below 0xF0 that many, else 2 more bytes modulo
//     4097), layout (1 byte modulo 4: separate buffers, in place, outputs on
//     the next input's buffer, outputs 5 frames into their own input's),
//     kind of samples (1 byte), seed (8)
//   2 an object appended to the time port's events: frame (2 bytes, signed),
//     kind (1 byte: odd is a time:Position, even another object), field count
//     (1 byte modulo 8), then per field a key (1 byte modulo 10: the time
//     keys, or one the plug-in does not know), a type (1 byte modulo 5: Int,
//     Long, Float, Double, or another) and the value's bits (8 bytes)
//   3 raw events: length (2 bytes modulo 1024) and that many bytes after the
//     sequence's header, sizes and all
//   4 the time port: connected to the events (1 byte: odd) or null; either
//     way the events start afresh
//   5 deactivate, then activate again
// After every run each output must be what the model routes from the inputs
// and the control values, bit for bit.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <string>

#include "fuzz_host.h"

using namespace fuzz_host;

namespace {

constexpr std::size_t kMaxSteps = 512;
constexpr std::size_t kMaxEventBytes = 4096;

const LV2_Descriptor& Descriptor() {
    static const LV2_Descriptor* descriptor = [] {
        std::string error;
        static auto library = PluginLibrary::Open(MULTICHANNEL_PATCHER_LV2_PATH, error);
        Require(library != nullptr, "the LV2 module loads");
        // Through a plain function pointer type: the library hands out every entry as a VST 2 one.
        const auto entry =
            reinterpret_cast<LV2_Descriptor_Function>(reinterpret_cast<void (*)()>(library->Entry("lv2_descriptor")));
        Require(entry && entry(0) && !entry(1), "the module describes one plug-in");
        return entry(0);
    }();
    return *descriptor;
}

const char* const kUris[] = {LV2_ATOM__Sequence,        LV2_ATOM__Object,          LV2_ATOM__Int,
                             LV2_ATOM__Long,            LV2_ATOM__Float,           LV2_ATOM__Double,
                             LV2_TIME__Position,        LV2_TIME__bar,             LV2_TIME__barBeat,
                             LV2_TIME__beat,            LV2_TIME__beatUnit,        LV2_TIME__beatsPerBar,
                             LV2_TIME__beatsPerMinute,  LV2_TIME__speed,           LV2_TIME__frame,
                             LV2_BUF_SIZE__maxBlockLength, LV2_BUF_SIZE__nominalBlockLength};

// URIDs 1 onwards for the URIs above, in order; others get the ones after.
class UridMap {
public:
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
        auto& extra = static_cast<UridMap*>(handle)->extra;
        for (std::size_t i = 0; i < std::size(kUris); ++i)
            if (uri == std::string(kUris[i])) return static_cast<LV2_URID>(i + 1);
        for (std::size_t i = 0; i < extra.size(); ++i)
            if (uri == extra[i]) return static_cast<LV2_URID>(std::size(kUris) + i + 1);
        extra.emplace_back(uri);
        return static_cast<LV2_URID>(std::size(kUris) + extra.size());
    }
    static LV2_URID Id(const char* uri) {
        for (std::size_t i = 0; i < std::size(kUris); ++i)
            if (uri == kUris[i]) return static_cast<LV2_URID>(i + 1);
        return 0;
    }
    LV2_URID_Map map{this, Map};

private:
    std::vector<std::string> extra;
};

class Session {
public:
    explicit Session(Bytes& in) {
        const auto features = in.Take<std::uint8_t>();
        blockLength = in.Take<std::int32_t>();
        options[0] = {LV2_OPTIONS_INSTANCE, 0, UridMap::Id(LV2_BUF_SIZE__maxBlockLength), sizeof blockLength,
                      UridMap::Id(LV2_ATOM__Int), &blockLength};
        options[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        const LV2_Feature* list[3] = {};
        int n = 0;
        if (features & 1) list[n++] = &mapFeature;
        if (features & 2) list[n++] = &optionsFeature;
        handle = Descriptor().instantiate(&Descriptor(), 48000.0, "", list);
        Require(handle != nullptr, "instantiate succeeds with any of the optional features");
        for (std::uint32_t p = 0; p < 2; ++p) Descriptor().connect_port(handle, 32 + p, &control[p]);
        Descriptor().activate(handle);
        ClearEvents();
    }
    ~Session() {
        Descriptor().deactivate(handle);
        Descriptor().cleanup(handle);
    }
    Session(const Session&) = delete;

    void Step(Bytes& in) {
        switch (in.Take<std::uint8_t>() % 6) {
        case 0: {
            const auto port = in.Take<std::uint8_t>() % 2;
            const auto b = in.Take<std::uint8_t>();
            control[port] = b <= 16 ? static_cast<float>(b) : in.Take<float>();
            break;
        }
        case 1: Run(in); break;
        case 2: AppendObject(in); break;
        case 3: {
            const std::size_t length = in.Take<std::uint16_t>() % 1024;
            events.resize(sizeof(LV2_Atom_Sequence) + length);
            events.resize(sizeof(LV2_Atom_Sequence) + in.Copy(events.data() + sizeof(LV2_Atom_Sequence), length));
            break;
        }
        case 4:
            timeConnected = in.Take<std::uint8_t>() % 2;
            ClearEvents();
            break;
        default:
            Descriptor().deactivate(handle);
            Descriptor().activate(handle);
            break;
        }
    }

private:
    void ClearEvents() { events.assign(sizeof(LV2_Atom_Sequence), 0); }

    template <class T>
    void Put(const T& value) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
        events.insert(events.end(), bytes, bytes + sizeof value);
    }

    void AppendObject(Bytes& in) {
        const auto frame = static_cast<std::int64_t>(in.Take<std::int16_t>());
        const bool position = in.Take<std::uint8_t>() % 2;
        const auto fields = in.Take<std::uint8_t>() % 8;
        // Events begin on 8-byte boundaries, also after raw bytes of any length.
        events.resize((events.size() + 7) & ~std::size_t{7});
        const std::size_t start = events.size();
        Put(frame);
        Put(LV2_Atom{0, UridMap::Id(LV2_ATOM__Object)});
        Put(LV2_Atom_Object_Body{0, position ? UridMap::Id(LV2_TIME__Position) : UridMap::Id(LV2_TIME__frame)});
        static const LV2_URID keys[] = {
            UridMap::Id(LV2_TIME__bar),        UridMap::Id(LV2_TIME__barBeat),     UridMap::Id(LV2_TIME__beat),
            UridMap::Id(LV2_TIME__beatUnit),   UridMap::Id(LV2_TIME__beatsPerBar), UridMap::Id(LV2_TIME__beatsPerMinute),
            UridMap::Id(LV2_TIME__speed),      UridMap::Id(LV2_TIME__frame),       UridMap::Id(LV2_ATOM__Sequence),
            999};
        static const LV2_URID types[] = {UridMap::Id(LV2_ATOM__Int), UridMap::Id(LV2_ATOM__Long),
                                         UridMap::Id(LV2_ATOM__Float), UridMap::Id(LV2_ATOM__Double), 999};
        static const std::uint32_t sizes[] = {4, 8, 4, 8, 8};
        for (int f = 0; f < fields; ++f) {
            const LV2_URID key = keys[in.Take<std::uint8_t>() % 10];
            const auto type = in.Take<std::uint8_t>() % 5;
            Put(LV2_Atom_Property_Body{key, 0, LV2_Atom{sizes[type], types[type]}});
            Put(in.Take<std::uint64_t>());
        }
        const std::size_t bytes = events.size() - start;
        if (events.size() > kMaxEventBytes) {
            events.resize(start);
            return;
        }
        const auto atomSize = static_cast<std::uint32_t>(bytes - sizeof(LV2_Atom_Event));
        std::memcpy(events.data() + start + sizeof(std::int64_t), &atomSize, sizeof atomSize);
    }

    // The events as the time port's sequence, in a buffer of exactly its
    // size, so that reading past it is caught.
    std::vector<std::uint8_t> Sequence() const {
        std::vector<std::uint8_t> sequence(events);
        const LV2_Atom header{static_cast<std::uint32_t>(events.size() - sizeof(LV2_Atom)),
                              UridMap::Id(LV2_ATOM__Sequence)};
        std::memcpy(sequence.data(), &header, sizeof header);
        return sequence;
    }

    void Run(Bytes& in) {
        const auto b = in.Take<std::uint8_t>();
        const std::uint32_t frames = b < 0xF0 ? b : in.Take<std::uint16_t>() % 4097;
        const auto layout = in.Take<std::uint8_t>() % 4;
        const int kind = in.Take<std::uint8_t>() % 4;
        const auto seed = in.Take<std::uint64_t>();

        const std::size_t stride = frames + 8;
        std::vector<float> pool(kChannels * stride), separate(kChannels * stride);
        std::vector<float> before(kChannels * frames);
        float* inputs[kChannels];
        float* outputs[kChannels];
        for (int c = 0; c < kChannels; ++c) {
            inputs[c] = pool.data() + c * stride;
            for (std::uint32_t j = 0; j < frames; ++j)
                before[c * frames + j] = inputs[c][j] = MakeSample<float>(kind, seed, c, static_cast<int>(j));
        }
        for (int c = 0; c < kChannels; ++c) {
            outputs[c] = layout == 0   ? separate.data() + c * stride
                         : layout == 1 ? inputs[c]
                         : layout == 2 ? inputs[(c + 1) % kChannels]
                                       : inputs[c] + 5;
            Descriptor().connect_port(handle, static_cast<std::uint32_t>(c), inputs[c]);
            Descriptor().connect_port(handle, static_cast<std::uint32_t>(16 + c), outputs[c]);
        }
        std::vector<std::uint8_t> sequence = Sequence();
        Descriptor().connect_port(handle, 34, timeConnected ? sequence.data() : nullptr);
        Descriptor().run(handle, frames);

        // The host's value, rounded and held within 0..16; non-finite ones change nothing.
        for (int p = 0; p < 2; ++p)
            if (std::isfinite(control[p])) slider[p] = std::clamp(std::floor(double(control[p]) + 0.5), 0.0, 16.0);
        for (std::uint32_t j = 0; j < frames; ++j) {
            float frame[kChannels];
            for (int c = 0; c < kChannels; ++c) frame[c] = before[c * frames + j];
            for (int c = 0; c < kChannels; ++c) {
                const float expected = c < 2 ? routing_model::Routed(routing_model::PickedChannel(slider[c]), frame) : 0.0f;
                Require(Bits(outputs[c][j]) == Bits(expected), "each output carries what the control values route");
            }
        }
    }

    UridMap urids;
    const LV2_Feature mapFeature{LV2_URID__map, &urids.map};
    LV2_Options_Option options[2];
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    std::int32_t blockLength = 0;
    LV2_Handle handle = nullptr;
    float control[2] = {0.0f, 1.0f};
    double slider[2] = {0.0, 1.0};
    bool timeConnected = false;
    std::vector<std::uint8_t> events;  // the time port's sequence, its header's size written at each run
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Descriptor();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    Session session(in);
    for (std::size_t step = 0; step < kMaxSteps && !in.Empty(); ++step) session.Step(in);
    return 0;
}
