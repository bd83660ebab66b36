// Host services for the effect's runtime; the host context is the plug-in
// object. Each goes through the plug-in object's virtual operations, so a
// replaced operation is honoured.
#include "vest.h"

namespace {

CVeST* Plugin(void* host) { return static_cast<CVeST*>(host); }

VstTimeInfo* TimeInfo(void* host, VstInt32 filter) { return host ? Plugin(host)->getTimeInfo(filter) : nullptr; }

std::int32_t InputCount(void* host) { return host ? Plugin(host)->getAeffect()->numInputs : 0; }
double SampleRate(void* host) { return host ? Plugin(host)->getSampleRate() : 0.0; }
std::int32_t BlockSize(void* host) { return host ? Plugin(host)->getBlockSize() : 0; }

double Tempo(void* host) {
    const VstTimeInfo* info = TimeInfo(host, kVstTempoValid);
    return info ? info->tempo : 0.0;
}

std::int32_t Playing(void* host) {
    const VstTimeInfo* info = TimeInfo(host, kVstTransportPlaying);
    return info && (info->flags & kVstTransportPlaying) ? 1 : 0;
}

std::int32_t Recording(void* host) {
    const VstTimeInfo* info = TimeInfo(host, kVstTransportRecording);
    return info && (info->flags & kVstTransportRecording) ? 1 : 0;
}

double PlayPosition(void* host) {
    const VstTimeInfo* info = TimeInfo(host, kVstPpqPosValid);
    return info ? info->ppqPos : 0.0;
}

std::int32_t TempoAndTimeSig(void* host, double* tempo, double* numerator, double* denominator) {
    const VstTimeInfo* info = TimeInfo(host, kVstTempoValid | kVstTimeSigValid);
    if (!info) return 0;
    if (tempo) *tempo = info->tempo;
    if (numerator) *numerator = info->timeSigNumerator;
    if (denominator) *denominator = info->timeSigDenominator;
    return 1;
}

bool UpdateDisplay(void* host) { return host && Plugin(host)->updateDisplay(); }

// The host is not told (no ioChanged); it reads the record when it wants to.
std::int32_t SetLatency(void* host, std::int32_t samples) {
    if (!host) return 0;
    Plugin(host)->setInitialDelay(samples);
    return 1;
}

std::int32_t ChunkFlag(void* host, bool on) {
    if (!host) return 0;
    Plugin(host)->programsAreChunks(on);
    return 1;
}

}  // namespace

const TVexilHostServices kVeSTHostServices = {
    InputCount, SampleRate, BlockSize,       Tempo,         Playing,    Recording,
    PlayPosition, TempoAndTimeSig, UpdateDisplay, SetLatency, ChunkFlag,
};
