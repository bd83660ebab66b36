// The section driver: the top of the runtime and the base of every effect.
// Its virtual operations are the script's sections; an effect overrides only
// the sections its script has.
#pragma once

#include <cstdint>

#include "vexil_graphics.h"

class TVexil : public CVexilMouse {
public:
    TVexil();
    virtual ~TVexil() = default;

    virtual void DoOpen();
    virtual void DoClose() {}
    virtual void DoSuspend() {}
    virtual void DoResume();
    virtual void DoInit() {}
    virtual void DoInitOnce();
    virtual void DoGfx() {}
    virtual void DoIdle() {}
    virtual void DoSerialize() {}
    // Load state; always answers the byte count it was given.
    virtual std::int32_t DoSetChunk(const void* data, std::int32_t byteCount, bool isPreset);
    // Save state; answers the chunk size, or 0 when the serialize section
    // wrote nothing. The chunk stays valid until the next chunk request.
    virtual std::int32_t DoGetChunk(void** data, bool isPreset);

    static constexpr float kChunkMarker = -1000.0f;

    std::int32_t InitCount = 0;

protected:
    // Clears script memory and strings; what the default open does.
    void ClearScriptState();
};
