// One LV2 plug-in instance: each call of the host's goes to CPatcherPlugin.
// The ports are the whole state: run() applies both control values every
// time, so the routing always follows what the host shows.
#pragma once

#include <cstdint>
#include <limits>

#include <lv2/atom/atom.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include "lv2_ports.h"
#include "lv2_time.h"
#include "patcher_plugin.h"
#include "patcher_reporter.h"

// Where the plug-in tells of a host's misbehaviour: the host's log when it
// gives one and a map for its message types, standard error otherwise.
class CLv2Log {
public:
    CLv2Log(const LV2_Log_Log* log, const LV2_URID_Map* map);
    void Warn(const char* message) const;

private:
    const LV2_Log_Log* const Log;
    const LV2_URID Warning;
};

class CLv2Plugin {
public:
    CLv2Plugin(double sampleRate, const LV2_URID_Map* map, const LV2_Options_Option* options,
               const LV2_Log_Log* log);
    ~CLv2Plugin() { Report(); }
    CLv2Plugin(const CLv2Plugin&) = delete;
    CLv2Plugin& operator=(const CLv2Plugin&) = delete;

    // Audio class: may come with run() on the audio thread.
    void Connect(std::uint32_t port, void* data);
    // Instantiation class.
    void Activate();
    void Deactivate();
    // Audio class.
    void Run(std::uint32_t frames);

private:
    // Instantiation class, never the audio thread's.
    void Report();

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
