#include "vest.h"

#include <cstring>

CVeST* CVeST::Create(TVexil* effect, const TVeSTCallbacks& callbacks, audioMasterCallback host,
                     VstInt32 numPrograms, VstInt32 numParams) {
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    return new CVeST(effect, callbacks, host, numPrograms, numParams);
}

CVeST::CVeST(TVexil* effect, const TVeSTCallbacks& callbacks, audioMasterCallback host, VstInt32 numPrograms,
             VstInt32 numParams)
    : AudioEffectX(host, numPrograms, numParams), effect(effect), callbacks(callbacks) {
    canProcessReplacing(true);
    canDoubleReplacing(true);
    if (callbacks.OnCreate) callbacks.OnCreate(this);
}

CVeST::~CVeST() {
    if (callbacks.OnDestroy) callbacks.OnDestroy(this);
}

void CVeST::open() {
    if (callbacks.OnOpen) callbacks.OnOpen(this);
}

void CVeST::close() {
    if (callbacks.OnClose) callbacks.OnClose(this);
}

void CVeST::suspend() {
    if (callbacks.OnSuspend) callbacks.OnSuspend(this);
}

void CVeST::resume() {
    AudioEffectX::resume();
    if (callbacks.OnResume) callbacks.OnResume(this);
}

void CVeST::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    if (callbacks.OnProcessReplacing) callbacks.OnProcessReplacing(this, inputs, outputs, frames);
}

void CVeST::processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) {
    if (callbacks.OnProcessDoubleReplacing) callbacks.OnProcessDoubleReplacing(this, inputs, outputs, frames);
}

void CVeST::setParameter(VstInt32 index, float value) {
    if (callbacks.OnSetParameter) callbacks.OnSetParameter(this, index, static_cast<double>(value));
}

float CVeST::getParameter(VstInt32 index) {
    return callbacks.OnGetParameter ? callbacks.OnGetParameter(this, index) : 0.0f;
}

void CVeST::setProgramName(char* name) {
    if (callbacks.OnSetProgramName) callbacks.OnSetProgramName(this, name);
}

void CVeST::getProgramName(char* name) {
    if (callbacks.OnGetProgramName) callbacks.OnGetProgramName(this, name);
}

void CVeST::getParameterLabel(VstInt32 index, char* label) {
    if (callbacks.OnGetParameterLabel) callbacks.OnGetParameterLabel(this, index, label);
}

void CVeST::getParameterDisplay(VstInt32 index, char* text) {
    if (callbacks.OnGetParameterDisplay) callbacks.OnGetParameterDisplay(this, index, text);
}

void CVeST::getParameterName(VstInt32 index, char* text) {
    if (callbacks.OnGetParameterName) callbacks.OnGetParameterName(this, index, text);
}

VstInt32 CVeST::getChunk(void** data, bool isPreset) {
    return callbacks.OnGetChunk ? callbacks.OnGetChunk(this, data, isPreset) : 0;
}

VstInt32 CVeST::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    return callbacks.OnSetChunk ? callbacks.OnSetChunk(this, data, byteSize, isPreset) : 0;
}

bool CVeST::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    return callbacks.OnGetProgramNameIndexed && callbacks.OnGetProgramNameIndexed(this, category, index, text) != 0;
}

// Nothing here acts on events; taking them keeps hosts that send MIDI happy.
VstInt32 CVeST::processEvents(VstEvents*) { return 1; }

bool CVeST::getEffectName(char* name) {
    return callbacks.OnGetEffectName && callbacks.OnGetEffectName(this, name) != 0;
}

bool CVeST::getVendorString(char* text) {
    return callbacks.OnGetVendorString && callbacks.OnGetVendorString(this, text) != 0;
}

bool CVeST::getProductString(char* text) {
    return callbacks.OnGetProductString && callbacks.OnGetProductString(this, text) != 0;
}

VstInt32 CVeST::getVendorVersion() { return callbacks.OnGetVendorVersion ? callbacks.OnGetVendorVersion(this) : 0; }

// The answer to "receiveVstMidiEvent" is the flags word with the synth bit
// added: positive, but not 1, so the base resume never asks for MIDI.
VstInt32 CVeST::canDo(char* text) {
    if (text && std::strcmp(text, "receiveVstMidiEvent") == 0) return getAeffect()->flags | effFlagsIsSynth;
    return -1;
}
