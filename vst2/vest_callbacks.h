// The seam between the generic plug-in object and the effect it serves: a
// fixed table of plain functions, each taking the plug-in object first. A
// null entry makes the plug-in object fall back to the protocol's default.
#pragma once

#include "vst2.h"

class CVeST;

struct TVeSTCallbacks {
    void (*OnCreate)(CVeST*);
    void (*OnDestroy)(CVeST*);
    void (*OnOpen)(CVeST*);
    void (*OnSuspend)(CVeST*);
    void (*OnResume)(CVeST*);
    void (*OnIdle)(CVeST*);
    void (*OnClose)(CVeST*);
    void (*OnDraw)(CVeST*, double width, double height);
    void (*OnMouseDown)(CVeST*, double x, double y, VstInt32 buttons);
    void (*OnMouseUp)(CVeST*, double x, double y, VstInt32 buttons);
    void (*OnMouseMoved)(CVeST*, double x, double y, VstInt32 buttons);
    void (*OnKeyDown)(CVeST*, VstInt32 character, VstInt32 modifier, VstInt32 virtualKey);
    void (*OnKeyUp)(CVeST*, VstInt32 character, VstInt32 modifier, VstInt32 virtualKey);
    VstInt32 (*OnGetVendorVersion)(CVeST*);
    VstInt32 (*OnGetVendorString)(CVeST*, char* text);
    VstInt32 (*OnGetProductString)(CVeST*, char* text);
    VstInt32 (*OnGetEffectName)(CVeST*, char* text);
    VstInt32 (*OnGetProgramName)(CVeST*, char* text);
    void (*OnSetProgramName)(CVeST*, const char* text);
    VstInt32 (*OnGetProgramNameIndexed)(CVeST*, VstInt32 category, VstInt32 index, char* text);
    float (*OnGetParameter)(CVeST*, VstInt32 index);
    void (*OnSetParameter)(CVeST*, VstInt32 index, double value);
    void (*OnGetParameterName)(CVeST*, VstInt32 index, char* text);
    void (*OnGetParameterLabel)(CVeST*, VstInt32 index, char* text);
    void (*OnGetParameterDisplay)(CVeST*, VstInt32 index, char* text);
    void (*OnProcessReplacing)(CVeST*, float** inputs, float** outputs, VstInt32 frames);
    void (*OnProcessDoubleReplacing)(CVeST*, double** inputs, double** outputs, VstInt32 frames);
    VstInt32 (*OnGetChunk)(CVeST*, void** data, bool isPreset);
    VstInt32 (*OnSetChunk)(CVeST*, void* data, VstInt32 byteCount, bool isPreset);
};

static_assert(sizeof(TVeSTCallbacks) == 29 * sizeof(void (*)()), "the table has 29 entries");
