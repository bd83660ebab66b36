// The plug-in in each format as the suite for every format drives it: the
// same few host steps (start, route, process, save, load), each done the way
// that format's hosts do it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "clap_host.h"
#include "plugin_under_test.h"
#include "tagged_audio.h"
#include "vst3_host.h"

// A route by step, as every format's parameters count: input 1 to 16 is
// step 0 to 15, step 16 is none.
struct RouteChange {
    int at;  // the frame of the block it takes effect from
    int step1, step2;
};

class FormatDriver {
public:
    static constexpr int kChannels = kTaggedChannels;
    static constexpr int kMaxFrames = 4096;

    virtual ~FormatDriver() = default;

    virtual void Start(int maxFrames) = 0;
    // Both routes, outside processing.
    virtual void Route(int step1, int step2) = 0;
    // A parameter set to a value as the format carries it, however odd.
    virtual void SetNative(int parameter, double value) = 0;
    // One block of `frames` frames, inputs from `input`.
    virtual void Process(int frames, const RouteChange* change = nullptr) = 0;
    virtual float Output(int channel, int frame) const = 0;
    // The outputs the last block reported silent, where the format reports it.
    virtual std::optional<std::uint64_t> SilentOutputs() const { return std::nullopt; }
    // Formats whose parameters are the whole state save nothing of their own.
    virtual bool HasState() const { return true; }
    virtual std::vector<std::uint8_t> Save() = 0;
    virtual bool Load(const std::vector<std::uint8_t>& bytes) = 0;

    std::function<float(int, int)> input = Tagged<float>;
    int frames = 0;
};

// A format without sample-accurate automation: a change within a block
// splits it, as its hosts do.
class SplitBlockDriver : public FormatDriver {
public:
    void Process(int count, const RouteChange* change) final {
        frames = count;
        for (int c = 0; c < kChannels; ++c)
            for (int j = 0; j < count; ++j) Inputs(c)[j] = input(c, j);
        const int split = change ? change->at : count;
        if (split > 0) Run(0, split);
        if (change) Apply(*change);
        if (split < count) Run(split, count);
    }

protected:
    virtual float* Inputs(int channel) = 0;
    // Frames `from` to `to` of the block.
    virtual void Run(int from, int to) = 0;
    // Both routes between two runs of a block.
    virtual void Apply(const RouteChange& change) = 0;
};

// The last block's outputs, as tagged_audio.h reads a test host's audio.
template <class Sample>
struct DriverOutputs {
    const FormatDriver& driver;
    int frames = driver.frames;
    Sample Output(int channel, int frame) const { return driver.Output(channel, frame); }
};

// Through the AEffect record; a change within a block splits it, as hosts
// without sample-accurate automation do.
class Vst2Driver : public SplitBlockDriver {
public:
    void Start(int maxFrames) override { plugin.Start(48000.0f, maxFrames); }
    void Route(int step1, int step2) override {
        plugin.SetParameter(0, static_cast<float>(step1) / 16.0f);
        plugin.SetParameter(1, static_cast<float>(step2) / 16.0f);
    }
    void SetNative(int parameter, double value) override { plugin.SetParameter(parameter, static_cast<float>(value)); }
    float Output(int channel, int frame) const override { return audio.out[channel][frame]; }
    std::vector<std::uint8_t> Save() override { return plugin.SaveState(); }
    bool Load(const std::vector<std::uint8_t>& bytes) override { return plugin.LoadState(bytes) != 0; }

private:
    float* Inputs(int channel) override { return audio.inPtr[channel]; }
    void Apply(const RouteChange& change) override { Route(change.step1, change.step2); }
    void Run(int from, int to) override {
        float* in[kChannels];
        float* out[kChannels];
        for (int c = 0; c < kChannels; ++c) {
            in[c] = audio.inPtr[c] + from;
            out[c] = audio.outPtr[c] + from;
        }
        plugin.effect->processReplacing(plugin.effect, in, out, to - from);
    }

    TestHost host;  // before the plug-in, whose callback finds it
    PluginInstance plugin;
    AudioBuffers<float> audio{kChannels, kMaxFrames};
};

// Through clap_entry: routes by plain value, changes as events in the block.
class ClapDriver : public FormatDriver {
public:
    void Start(int maxFrames) override { plugin.Start(static_cast<std::uint32_t>(maxFrames)); }
    void Route(int step1, int step2) override { plugin.Route(step1, step2); }
    void SetNative(int parameter, double value) override {
        ClapEvents events;
        events.Param(0, static_cast<TClapId>(parameter), value);
        plugin.Flush(events);
    }
    void Process(int count, const RouteChange* change) override {
        frames = count;
        audio = std::make_unique<ClapAudio<float>>(count);
        audio->Fill(input);
        ClapEvents events;
        if (change) {
            const auto at = static_cast<std::uint32_t>(change->at);
            events.Param(at, 0, change->step1).Param(at, 1, change->step2);
        }
        plugin.Process(*audio, &events);
    }
    float Output(int channel, int frame) const override { return audio->Output(channel, frame); }
    std::optional<std::uint64_t> SilentOutputs() const override { return audio->outputBuffer.ConstantMask; }
    std::vector<std::uint8_t> Save() override { return plugin.Save(); }
    bool Load(const std::vector<std::uint8_t>& bytes) override { return plugin.Load(bytes); }

private:
    ClapTestHost host;
    ClapInstance plugin{host};
    std::unique_ptr<ClapAudio<float>> audio;
};

// Through the module's factory: routes by normalized value in a call of no
// frames, changes at their sample offsets, state into both parts.
class Vst3Driver : public FormatDriver {
public:
    void Start(int maxFrames) override { plugin.Start(maxFrames); }
    void Route(int step1, int step2) override { plugin.Route(step1, step2); }
    void SetNative(int parameter, double value) override {
        Vst3Changes changes;
        changes.Add(static_cast<TVst3ParamId>(parameter), 0, value);
        plugin.ProcessBuses<float>(nullptr, 0, nullptr, 0, 0, &changes);
    }
    void Process(int count, const RouteChange* change) override {
        frames = count;
        audio = std::make_unique<Vst3Audio<float>>(count);
        audio->Fill(input);
        Vst3Changes changes;
        if (change) changes.Add(0, change->at, change->step1 / 16.0).Add(1, change->at, change->step2 / 16.0);
        plugin.Process(*audio, &changes);
    }
    float Output(int channel, int frame) const override { return audio->Output(channel, frame); }
    std::optional<std::uint64_t> SilentOutputs() const override { return audio->outputBus.SilenceFlags; }
    std::vector<std::uint8_t> Save() override { return plugin.Save(); }
    bool Load(const std::vector<std::uint8_t>& bytes) override { return plugin.LoadBoth(bytes) == kVst3ResultOk; }

private:
    Vst3Instance plugin;
    std::unique_ptr<Vst3Audio<float>> audio;
};
