// The least of an editor that the dispatcher talks to. This plug-in never
// attaches one; the protocol layer still routes the editor opcodes to it.
#pragma once

#include "vst2.h"

class AEffEditor {
public:
    virtual ~AEffEditor() = default;
    virtual bool getRect(ERect** rect) = 0;
    virtual bool open(void* parentWindow) = 0;
    virtual void close() = 0;
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode& keyCode) = 0;
    virtual bool onKeyUp(VstKeyCode& keyCode) = 0;
    virtual bool setKnobMode(VstInt32 mode) = 0;
};
