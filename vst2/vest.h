// The plug-in object the host sees. It knows no particular effect: every
// request that concerns the effect goes through its copy of the callback table.
#pragma once

#include "audio_effect_x.h"
#include "vest_callbacks.h"
#include "vexil_vest.h"

class TVexil;

class CVeST : public AudioEffectX {
public:
    // Asks the host for its version first; answers null, creating nothing,
    // when the host answers 0.
    static CVeST* Create(TVexil* effect, const TVeSTCallbacks& callbacks, audioMasterCallback host,
                         VstInt32 numPrograms, VstInt32 numParams);
    ~CVeST() override;

    void open() override;
    void close() override;
    void suspend() override;
    void resume() override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    VstInt32 processEvents(VstEvents* events) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;

    TVexil* GetEffect() const { return effect; }

private:
    CVeST(TVexil* effect, const TVeSTCallbacks& callbacks, audioMasterCallback host, VstInt32 numPrograms,
          VstInt32 numParams);

    TVexil* effect;
    const TVeSTCallbacks callbacks;
};

// The host services the effect's runtime reaches through its back-pointer.
extern const TVexilHostServices kVeSTHostServices;
