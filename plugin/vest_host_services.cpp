// Host services for the effect's runtime. Each goes through the plug-in
// object's virtual operations, so a replaced operation is honoured.
#include "vest.h"

namespace {

VstTimeInfo* TimeInfo(CVeST* plugin, VstInt32 filter) { return plugin ? plugin->getTimeInfo(filter) : nullptr; }

std::int32_t InputCount(CVeST* plugin) { return plugin ? plugin->getAeffect()->numInputs : 0; }
double SampleRate(CVeST* plugin) { return plugin ? plugin->getSampleRate() : 0.0; }
std::int32_t BlockSize(CVeST* plugin) { return plugin ? plugin->getBlockSize() : 0; }

double Tempo(CVeST* plugin) {
    const VstTimeInfo* info = TimeInfo(plugin, kVstTempoValid);
    return info ? info->tempo : 0.0;
}

std::int32_t Playing(CVeST* plugin) {
    const VstTimeInfo* info = TimeInfo(plugin, kVstTransportPlaying);
    return info && (info->flags & kVstTransportPlaying) ? 1 : 0;
}

std::int32_t Recording(CVeST* plugin) {
    const VstTimeInfo* info = TimeInfo(plugin, kVstTransportRecording);
    return info && (info->flags & kVstTransportRecording) ? 1 : 0;
}

double PlayPosition(CVeST* plugin) {
    const VstTimeInfo* info = TimeInfo(plugin, kVstPpqPosValid);
    return info ? info->ppqPos : 0.0;
}

std::int32_t TempoAndTimeSig(CVeST* plugin, double* tempo, double* numerator, double* denominator) {
    const VstTimeInfo* info = TimeInfo(plugin, kVstTempoValid | kVstTimeSigValid);
    if (!info) return 0;
    if (tempo) *tempo = info->tempo;
    if (numerator) *numerator = info->timeSigNumerator;
    if (denominator) *denominator = info->timeSigDenominator;
    return 1;
}

bool UpdateDisplay(CVeST* plugin) { return plugin && plugin->updateDisplay(); }

// The host is not told (no ioChanged); it reads the record when it wants to.
std::int32_t SetLatency(CVeST* plugin, std::int32_t samples) {
    if (!plugin) return 0;
    plugin->setInitialDelay(samples);
    return 1;
}

std::int32_t ChunkFlag(CVeST* plugin, bool on) {
    if (!plugin) return 0;
    plugin->programsAreChunks(on);
    return 1;
}

}  // namespace

const TVexilHostServices kVeSTHostServices = {
    InputCount, SampleRate, BlockSize,       Tempo,         Playing,    Recording,
    PlayPosition, TempoAndTimeSig, UpdateDisplay, SetLatency, ChunkFlag,
};
