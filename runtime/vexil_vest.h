// The effect's link to the plug-in that hosts it, whatever its format. Every
// question the script has for the host (rates, sizes, transport) goes through
// here at the moment it is asked; nothing is cached on this side.
#pragma once

#include <cstdint>

#include "vexil_memory.h"

// Host services, served by a plug-in format's adapter. Each takes the
// adapter's own host context first, which the runtime never looks into, and
// answers 0 for a null one.
struct TVexilHostServices {
    std::int32_t (*InputCount)(void* host);
    double (*SampleRate)(void* host);
    std::int32_t (*BlockSize)(void* host);
    double (*Tempo)(void* host);
    std::int32_t (*Playing)(void* host);
    std::int32_t (*Recording)(void* host);
    double (*PlayPosition)(void* host);
    std::int32_t (*TempoAndTimeSig)(void* host, double* tempo, double* numerator, double* denominator);
    bool (*UpdateDisplay)(void* host);
    std::int32_t (*SetLatency)(void* host, std::int32_t samples);
    std::int32_t (*ChunkFlag)(void* host, bool on);
};

class CVexilVeST : public CVexilMemory {
public:
    // Stored once by the adapter, right after its host context exists.
    void AttachHost(void* host, const TVexilHostServices* services) {
        Host = host;
        Services = services;
    }

    std::int32_t QueryInputCount() const { return Connected() ? Services->InputCount(Host) : 0; }
    double QuerySampleRate() const { return Connected() ? Services->SampleRate(Host) : 0.0; }
    std::int32_t QueryBlockSize() const { return Connected() ? Services->BlockSize(Host) : 0; }
    double QueryTempo() const { return Connected() ? Services->Tempo(Host) : 0.0; }
    std::int32_t QueryPlaying() const { return Connected() ? Services->Playing(Host) : 0; }
    std::int32_t QueryRecording() const { return Connected() ? Services->Recording(Host) : 0; }
    double QueryPlayPosition() const { return Connected() ? Services->PlayPosition(Host) : 0.0; }
    std::int32_t QueryTempoAndTimeSig(double* tempo, double* numerator, double* denominator) const {
        return Connected() ? Services->TempoAndTimeSig(Host, tempo, numerator, denominator) : 0;
    }
    bool QueryUpdateDisplay() const { return Connected() && Services->UpdateDisplay(Host); }
    std::int32_t QuerySetLatency(std::int32_t samples) const {
        return Connected() ? Services->SetLatency(Host, samples) : 0;
    }

protected:
    CVexilVeST() = default;
    ~CVexilVeST() = default;

private:
    bool Connected() const { return Host && Services; }

    void* Host = nullptr;
    const TVexilHostServices* Services = nullptr;
};
