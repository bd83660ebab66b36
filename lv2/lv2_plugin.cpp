#include "lv2_plugin.h"

#include <cstdio>

#include "lv2_options.h"

CLv2Log::CLv2Log(const LV2_Log_Log* log, const LV2_URID_Map* map)
    : Log(log && log->printf && map ? log : nullptr), Warning(Log ? map->map(map->handle, LV2_LOG__Warning) : 0) {}

void CLv2Log::Warn(const char* message) const {
    if (Log)
        Log->printf(Log->handle, Warning, "%s\n", message);
    else
        std::fprintf(stderr, "multichannel_patcher: %s\n", message);
}

CLv2Plugin::CLv2Plugin(double sampleRate, const LV2_URID_Map* map, const LV2_Options_Option* options,
                       const LV2_Log_Log* log)
    : SampleRate(sampleRate), Time(map), MaxFrames(Lv2BlockLength(options, map)), Log(log, map) {}

void CLv2Plugin::Connect(std::uint32_t port, void* data) {
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

void CLv2Plugin::Activate() {
    Report();
    Reporter.Rearm();
    Time.Reset();
    Plugin.Activate(SampleRate, MaxFrames);
    Active = true;
}

void CLv2Plugin::Deactivate() {
    if (!Active) Reporter.Mark(TPatcherMisbehaviour::WrongState);
    Plugin.Deactivate();
    Active = false;
    Report();
}

void CLv2Plugin::Run(std::uint32_t frames) {
    // Rendered all the same: the routing needs no activation, and the
    // channels not connected are read as silence or rendered to scratch.
    if (!Active) Reporter.Mark(TPatcherMisbehaviour::WrongState);
    // Only the control ports set parameters: a value already applied needs
    // no second rounding.
    for (std::uint32_t i = 0; i < lv2_ports::kControls; ++i)
        if (Controls[i] && !(*Controls[i] == Applied[i])) {
            Applied[i] = *Controls[i];
            Plugin.SetParameterValue(static_cast<std::int32_t>(i), Applied[i]);
        }
    Time.Run(TimePort, frames, SampleRate, [&](const TPatcherTransport* transport) {
        Plugin.BeginBlock<float>(transport, Inputs, Outputs, frames).Finish();
    });
}

void CLv2Plugin::Report() {
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
