#include "vexil.h"

#include <cstring>
#include <vector>

TVexil::TVexil() { ClearScriptState(); }

void TVexil::ClearScriptState() {
    ClearMemory();
    ClearStrings();
}

void TVexil::DoOpen() { ClearScriptState(); }

void TVexil::DoResume() {
    DoInit();
    DoSlider();
}

void TVexil::DoInitOnce() {
    if (InitCount == 0) DoInit();
    ++InitCount;
}

std::int32_t TVexil::DoGetChunk(void** data, bool) {
    TVexilFile& stream = SerializeStream();
    CloseFile(stream);
    ResetFile(stream, TVexilFile::Writing);
    Relaxed<double> marker = kChunkMarker;
    FileVar(stream, marker);
    DoSerialize();
    if (stream.Buffer.size() <= 1) return 0;
    if (data) *data = stream.Buffer.data();
    return static_cast<std::int32_t>(stream.Buffer.size() * sizeof(float));
}

std::int32_t TVexil::DoSetChunk(const void* data, std::int32_t byteCount, bool) {
    // Copy first: a host may hand back the very buffer the last save gave it,
    // which the reset below would empty.
    const std::size_t count = data && byteCount > 0 ? static_cast<std::size_t>(byteCount) / sizeof(float) : 0;
    std::vector<float> incoming(count);
    if (count > 0) std::memcpy(incoming.data(), data, count * sizeof(float));

    TVexilFile& stream = SerializeStream();
    CloseFile(stream);
    ResetFile(stream, TVexilFile::Reading);
    stream.Buffer = std::move(incoming);
    if (count == 0) return byteCount;

    Relaxed<double> marker = 0.0;
    FileVar(stream, marker);
    if (marker != static_cast<double>(kChunkMarker)) return byteCount;

    DoInitOnce();
    DoSerialize();
    DoSlider();
    return byteCount;
}
