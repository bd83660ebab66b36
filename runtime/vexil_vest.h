// The effect's link to the plug-in object that serves it. Every question the
// script has for the host (rates, sizes, transport) goes through here at the
// moment it is asked; nothing is cached on this side.
#pragma once

#include <cstdint>

#include "vexil_memory.h"

class CVeST;

// Host services, served by the plug-in object. Each takes the plug-in object
// first and answers 0 for a null one.
struct TVexilHostServices {
    std::int32_t (*InputCount)(CVeST*);
    double (*SampleRate)(CVeST*);
    std::int32_t (*BlockSize)(CVeST*);
    double (*Tempo)(CVeST*);
    std::int32_t (*Playing)(CVeST*);
    std::int32_t (*Recording)(CVeST*);
    double (*PlayPosition)(CVeST*);
    std::int32_t (*TempoAndTimeSig)(CVeST*, double* tempo, double* numerator, double* denominator);
    bool (*UpdateDisplay)(CVeST*);
    std::int32_t (*SetLatency)(CVeST*, std::int32_t samples);
    std::int32_t (*ChunkFlag)(CVeST*, bool on);
};

class CVexilVeST : public CVexilMemory {
public:
    // Stored once by the entry point, right after the plug-in object exists.
    void AttachPlugin(CVeST* plugin, const TVexilHostServices* services) {
        Plugin = plugin;
        Services = services;
    }
    CVeST* GetPlugin() const { return Plugin; }

    std::int32_t QueryInputCount() const { return Connected() ? Services->InputCount(Plugin) : 0; }
    double QuerySampleRate() const { return Connected() ? Services->SampleRate(Plugin) : 0.0; }
    std::int32_t QueryBlockSize() const { return Connected() ? Services->BlockSize(Plugin) : 0; }
    double QueryTempo() const { return Connected() ? Services->Tempo(Plugin) : 0.0; }
    std::int32_t QueryPlaying() const { return Connected() ? Services->Playing(Plugin) : 0; }
    std::int32_t QueryRecording() const { return Connected() ? Services->Recording(Plugin) : 0; }
    double QueryPlayPosition() const { return Connected() ? Services->PlayPosition(Plugin) : 0.0; }
    std::int32_t QueryTempoAndTimeSig(double* tempo, double* numerator, double* denominator) const {
        return Connected() ? Services->TempoAndTimeSig(Plugin, tempo, numerator, denominator) : 0;
    }
    bool QueryUpdateDisplay() const { return Connected() && Services->UpdateDisplay(Plugin); }
    std::int32_t QuerySetLatency(std::int32_t samples) const {
        return Connected() ? Services->SetLatency(Plugin, samples) : 0;
    }

protected:
    CVexilVeST() = default;
    ~CVexilVeST() = default;

private:
    bool Connected() const { return Plugin && Services; }

    CVeST* Plugin = nullptr;
    const TVexilHostServices* Services = nullptr;
};
