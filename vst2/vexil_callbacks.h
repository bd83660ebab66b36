// The callback table's entries for an effect built on the script runtime.
// They are templates over the concrete effect so that the per-frame path
// calls a final class's DoSample directly.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

#include "vest.h"
#include "vexil.h"
#include "vexil_text.h"

namespace vexil_callbacks {

// Bounds of the texts written into host buffers, terminating zero included.
// Hosts pass buffers at least this large for these requests.
constexpr std::size_t kNameBound = 64;  // effect name, product and vendor strings
constexpr std::size_t kProgramNameBound = 24;
constexpr std::size_t kParamNameBound = 32;
constexpr std::size_t kParamDisplayBound = 24;
constexpr std::size_t kParamLabelBound = 8;

template <class Effect>
Effect& EffectOf(CVeST* plugin) {
    return *static_cast<Effect*>(plugin->GetEffect());
}

template <class Effect>
void OnCreate(CVeST* plugin) {
    const Effect& effect = EffectOf<Effect>(plugin);
    plugin->setNumInputs(effect.Channels);
    plugin->setNumOutputs(effect.Channels);
    plugin->setUniqueID(effect.UniqueId);
    plugin->programsAreChunks(true);
}

template <class Effect>
void OnDestroy(CVeST* plugin) {
    delete static_cast<Effect*>(plugin->GetEffect());
}

template <class Effect>
void OnOpen(CVeST* plugin) {
    EffectOf<Effect>(plugin).DoOpen();
}

template <class Effect>
void OnSuspend(CVeST* plugin) {
    EffectOf<Effect>(plugin).DoSuspend();
}

template <class Effect>
void OnResume(CVeST* plugin) {
    EffectOf<Effect>(plugin).DoResume();
}

template <class Effect>
void OnIdle(CVeST* plugin) {
    EffectOf<Effect>(plugin).DoIdle();
}

template <class Effect>
void OnClose(CVeST* plugin) {
    EffectOf<Effect>(plugin).DoClose();
}

template <class Effect>
VstInt32 OnGetVendorVersion(CVeST* plugin) {
    return EffectOf<Effect>(plugin).VendorVersion;
}

template <class Effect>
VstInt32 OnGetVendorString(CVeST* plugin, char* text) {
    CopyText(text, kNameBound, EffectOf<Effect>(plugin).VendorName);
    return 1;
}

template <class Effect>
VstInt32 OnGetProductString(CVeST* plugin, char* text) {
    CopyText(text, kNameBound, EffectOf<Effect>(plugin).ProductName);
    return 1;
}

template <class Effect>
VstInt32 OnGetEffectName(CVeST* plugin, char* text) {
    CopyText(text, kNameBound, EffectOf<Effect>(plugin).EffectName);
    return 1;
}

template <class Effect>
VstInt32 OnGetProgramName(CVeST* plugin, char* text) {
    CopyText(text, kProgramNameBound, EffectOf<Effect>(plugin).ProgramName);
    return 1;
}

template <class Effect>
void OnSetProgramName(CVeST* plugin, const char* text) {
    if (!text) return;
    EffectOf<Effect>(plugin).ProgramName = std::string(ReadText(text, kProgramNameBound));
}

template <class Effect>
VstInt32 OnGetProgramNameIndexed(CVeST*, VstInt32, VstInt32, char*) {
    return 0;
}

template <class Effect>
float OnGetParameter(CVeST* plugin, VstInt32 index) {
    return EffectOf<Effect>(plugin).GetParameter(index);
}

template <class Effect>
void OnSetParameter(CVeST* plugin, VstInt32 index, double value) {
    EffectOf<Effect>(plugin).SetParameter(index, value);
}

template <class Effect>
void OnGetParameterName(CVeST* plugin, VstInt32 index, char* text) {
    EffectOf<Effect>(plugin).GetParameterName(index, text, kParamNameBound);
}

template <class Effect>
void OnGetParameterLabel(CVeST* plugin, VstInt32 index, char* text) {
    EffectOf<Effect>(plugin).GetParameterLabel(index, text, kParamLabelBound);
}

template <class Effect>
void OnGetParameterDisplay(CVeST* plugin, VstInt32 index, char* text) {
    EffectOf<Effect>(plugin).GetParameterDisplay(index, text, kParamDisplayBound);
}

// The channel count is read once per process and entry: every instance of a
// given effect declares the same count. Clamped to what Samples holds.
template <class Effect, class Sample>
VstInt32 ProcessChannels(Effect& effect) {
    static const VstInt32 channels = std::clamp<VstInt32>(effect.QueryInputCount(), 0, Effect::kSampleSlots);
    return channels;
}

// Every frame reads all its inputs before it writes any output, so a host may
// pass the same buffers as inputs and outputs.
template <class Effect, class Sample>
void Process(CVeST* plugin, Sample** inputs, Sample** outputs, VstInt32 frames) {
    Effect& effect = EffectOf<Effect>(plugin);
    const VstInt32 channels = ProcessChannels<Effect, Sample>(effect);
    effect.DoBlock();
    // An effect that runs its sample section over whole stretches of frames
    // takes the frame loop for the channel count it declares.
    if constexpr (requires { effect.SampleFrames(inputs, outputs, frames); }) {
        if (channels == Effect::kChannels) {
            effect.SampleFrames(inputs, outputs, frames);
            return;
        }
    }
    auto& samples = effect.Samples;
    if (channels == 2) {
        for (VstInt32 j = 0; j < frames; ++j) {
            samples[0] = inputs[0][j];
            samples[1] = inputs[1][j];
            effect.DoSample();
            outputs[0][j] = static_cast<Sample>(samples[0]);
            outputs[1][j] = static_cast<Sample>(samples[1]);
        }
        return;
    }
    for (VstInt32 j = 0; j < frames; ++j) {
        for (VstInt32 c = channels - 1; c >= 0; --c) samples[static_cast<std::size_t>(c)] = inputs[c][j];
        effect.DoSample();
        for (VstInt32 c = channels - 1; c >= 0; --c) outputs[c][j] = static_cast<Sample>(samples[static_cast<std::size_t>(c)]);
    }
}

template <class Effect>
void OnProcessReplacing(CVeST* plugin, float** inputs, float** outputs, VstInt32 frames) {
    Process<Effect, float>(plugin, inputs, outputs, frames);
}

template <class Effect>
void OnProcessDoubleReplacing(CVeST* plugin, double** inputs, double** outputs, VstInt32 frames) {
    Process<Effect, double>(plugin, inputs, outputs, frames);
}

template <class Effect>
VstInt32 OnGetChunk(CVeST* plugin, void** data, bool isPreset) {
    return EffectOf<Effect>(plugin).DoGetChunk(data, isPreset);
}

template <class Effect>
VstInt32 OnSetChunk(CVeST* plugin, void* data, VstInt32 byteCount, bool isPreset) {
    return EffectOf<Effect>(plugin).DoSetChunk(data, byteCount, isPreset);
}

}  // namespace vexil_callbacks

// The table for an effect: entries 7 to 12 (an editor view's drawing, mouse
// and key entries) stay null, since no editor is ever made.
template <class Effect>
TVeSTCallbacks MakeVexilCallbacks() {
    using namespace vexil_callbacks;
    TVeSTCallbacks table{};
    table.OnCreate = OnCreate<Effect>;
    table.OnDestroy = OnDestroy<Effect>;
    table.OnOpen = OnOpen<Effect>;
    table.OnSuspend = OnSuspend<Effect>;
    table.OnResume = OnResume<Effect>;
    table.OnIdle = OnIdle<Effect>;
    table.OnClose = OnClose<Effect>;
    table.OnGetVendorVersion = OnGetVendorVersion<Effect>;
    table.OnGetVendorString = OnGetVendorString<Effect>;
    table.OnGetProductString = OnGetProductString<Effect>;
    table.OnGetEffectName = OnGetEffectName<Effect>;
    table.OnGetProgramName = OnGetProgramName<Effect>;
    table.OnSetProgramName = OnSetProgramName<Effect>;
    table.OnGetProgramNameIndexed = OnGetProgramNameIndexed<Effect>;
    table.OnGetParameter = OnGetParameter<Effect>;
    table.OnSetParameter = OnSetParameter<Effect>;
    table.OnGetParameterName = OnGetParameterName<Effect>;
    table.OnGetParameterLabel = OnGetParameterLabel<Effect>;
    table.OnGetParameterDisplay = OnGetParameterDisplay<Effect>;
    table.OnProcessReplacing = OnProcessReplacing<Effect>;
    table.OnProcessDoubleReplacing = OnProcessDoubleReplacing<Effect>;
    table.OnGetChunk = OnGetChunk<Effect>;
    table.OnSetChunk = OnSetChunk<Effect>;
    return table;
}
