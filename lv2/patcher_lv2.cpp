// The LV2 plug-in: each call of the host's goes to CPatcherPlugin. The ports
// are the whole state: run() applies both control values every time, so the
// routing always follows what the host shows.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include <lv2/core/lv2.h>
#include <lv2/log/log.h>

#include "lv2_options.h"
#include "lv2_ports.h"
#include "lv2_time.h"
#include "patcher_plugin.h"
#include "patcher_reporter.h"

namespace {

const void* Feature(const LV2_Feature* const* features, const char* uri) {
    for (; features && *features; ++features)
        if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
    return nullptr;
}

// Where the plug-in tells of a host's misbehaviour: the host's log when it
// gives one and a map for its message types, standard error otherwise.
class CLv2Log {
public:
    CLv2Log(const LV2_Log_Log* log, const LV2_URID_Map* map)
        : Log(log && log->printf && map ? log : nullptr),
          Warning(Log ? map->map(map->handle, LV2_LOG__Warning) : 0) {}

    void Warn(const char* message) const {
        if (Log)
            Log->printf(Log->handle, Warning, "%s\n", message);
        else
            std::fprintf(stderr, "multichannel_patcher: %s\n", message);
    }

private:
    const LV2_Log_Log* const Log;
    const LV2_URID Warning;
};

class CPatcherLv2 {
public:
    CPatcherLv2(double sampleRate, const LV2_URID_Map* map, const LV2_Options_Option* options, const LV2_Log_Log* log)
        : SampleRate(sampleRate), Time(map), MaxFrames(Lv2BlockLength(options, map)), Log(log, map) {}
    ~CPatcherLv2() { Report(); }

    // Audio class: may come with run() on the audio thread.
    void Connect(std::uint32_t port, void* data) {
        using namespace lv2_ports;
        if (port >= kFirstInput && port < kFirstInput + kChannels)
            Inputs[port - kFirstInput] = static_cast<float*>(data);
        else if (port >= kFirstOutput && port < kFirstOutput + kChannels)
            Outputs[port - kFirstOutput] = static_cast<float*>(data);
        else if (port >= kFirstControl && port < kFirstControl + kControls)
            Controls[port - kFirstControl] = static_cast<const float*>(data);
        else if (port == kTime)
            TimePort = static_cast<const LV2_Atom_Sequence*>(data);
        else
            Reporter.Mark(TPatcherMisbehaviour::OutOfRange);
    }

    void Activate() {
        Report();
        Reporter.Rearm();
        Time.Reset();
        Plugin.Activate(SampleRate, MaxFrames);
        Active = true;
    }
    void Deactivate() {
        if (!Active) Reporter.Mark(TPatcherMisbehaviour::WrongState);
        Plugin.Deactivate();
        Active = false;
        Report();
    }

    void Run(std::uint32_t frames) {
        // Rendered all the same: the routing needs no activation, and the
        // channels not connected are read as silence or rendered to scratch.
        if (!Active) Reporter.Mark(TPatcherMisbehaviour::WrongState);
        // Only the control ports set parameters: a value already applied
        // needs no second rounding.
        for (std::uint32_t i = 0; i < lv2_ports::kControls; ++i)
            if (Controls[i] && !(*Controls[i] == Applied[i])) {
                Applied[i] = *Controls[i];
                Plugin.SetParameterValue(static_cast<std::int32_t>(i), Applied[i]);
            }
        Time.Run(TimePort, frames, SampleRate, [&](const TPatcherTransport* transport) {
            Plugin.BeginBlock<float>(transport, Inputs, Outputs, frames).Finish();
        });
    }

private:
    // Instantiation class, never the audio thread's.
    void Report() {
        Reporter.Flush([this](TPatcherMisbehaviour kind) {
            switch (kind) {
            case TPatcherMisbehaviour::WrongState:
                Log.Warn("run or deactivated while not active: the host skipped activate()");
                break;
            case TPatcherMisbehaviour::OutOfRange:
                Log.Warn("connect_port() named a port the plug-in does not have: ignored");
                break;
            case TPatcherMisbehaviour::WrongThread:
            case TPatcherMisbehaviour::BufferLayout:
            case TPatcherMisbehaviour::StreamFailure:
                break;
            }
        });
    }

    const double SampleRate;
    CLv2Time Time;
    const std::int32_t MaxFrames;
    CPatcherPlugin Plugin;
    CLv2Log Log;
    CPatcherReporter Reporter;
    bool Active = false;
    float* Inputs[lv2_ports::kChannels] = {};
    float* Outputs[lv2_ports::kChannels] = {};
    const float* Controls[lv2_ports::kControls] = {};
    // NaN at first, which equals no value, so that the first run applies both.
    float Applied[lv2_ports::kControls] = {std::numeric_limits<float>::quiet_NaN(),
                                           std::numeric_limits<float>::quiet_NaN()};
    const LV2_Atom_Sequence* TimePort = nullptr;
};

CPatcherLv2& Instance(LV2_Handle handle) { return *static_cast<CPatcherLv2*>(handle); }

LV2_Handle Instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features) {
    try {
        return new CPatcherLv2(sampleRate, static_cast<const LV2_URID_Map*>(Feature(features, LV2_URID__map)),
                               static_cast<const LV2_Options_Option*>(Feature(features, LV2_OPTIONS__options)),
                               static_cast<const LV2_Log_Log*>(Feature(features, LV2_LOG__log)));
    } catch (...) {
        return nullptr;
    }
}

void ConnectPort(LV2_Handle handle, std::uint32_t port, void* data) { Instance(handle).Connect(port, data); }
void Activate(LV2_Handle handle) { Instance(handle).Activate(); }
void Run(LV2_Handle handle, std::uint32_t frames) { Instance(handle).Run(frames); }
void Deactivate(LV2_Handle handle) { Instance(handle).Deactivate(); }
void Cleanup(LV2_Handle handle) { delete &Instance(handle); }
const void* ExtensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    lv2_ports::kUri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData,
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
