// A second VST 2 effect for the host's tests, built unlike ours: stereo, a
// continuous gain, two programs kept as parameter values rather than a chunk,
// only the old accumulating process call, and the ID 'HsTf'. Its second
// output carries the sample position the host reports, its second parameter
// the tempo. FAKE_PLUGIN_MODE holds comma-separated words that change it:
//   refuse    the entry point returns null
//   badmagic  the entry point returns a record with the wrong magic
//   throw     setParameter throws std::bad_alloc, the process call a runtime_error
//   delay     the first output comes 100 samples late, and says so after
//             the first block, as look-ahead limiters do
//   instrument no audio inputs, and the synth flag
//   crash, interrupt, exit
//             the first process call raises SIGSEGV, raises SIGINT, or calls exit(0)
//   multiband four more parameters as third-party plug-ins have them: two
//             named "Crossover freq" (20 Hz + 20 kHz x value, shown to the
//             millionth of a hertz), "Input gain" (-inf, then -72 to +12 dB)
//             and "Mode" (low, mid, high), which alone answers the request
//             for a value from a text, with 0, 0.5 and 1
//   reverb    one more parameter, last: "Room size" (0 to 100 m, 20 at
//             first), whose display text throws std::bad_alloc from 30 m
//             up to 60 m, as a third-party reverb's does; the instance then
//             throws it for every parameter request
// Built with FAKE_PLUGIN_NO_ENTRY it exports no entry point at all.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "vst2.h"

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#if defined(FAKE_PLUGIN_NO_ENTRY)

FAKE_EXPORT int NotAnEntryPoint() { return 0; }

#else

namespace {

bool ModeHas(const std::string& word) {
    const char* mode = std::getenv("FAKE_PLUGIN_MODE");
    std::istringstream words(mode ? mode : "");
    for (std::string item; std::getline(words, item, ',');)
        if (item == word) return true;
    return false;
}

constexpr VstInt32 kMultibandParams = 6;
constexpr VstInt32 kDelay = 100;
constexpr const char* kModes[] = {"low", "mid", "high"};
constexpr float kRoomFailsFrom = 0.3f, kRoomFailsBelow = 0.6f;

struct Fake {
    AEffect effect{};
    bool throws = ModeHas("throw");
    int raises = ModeHas("crash") ? SIGSEGV : ModeHas("interrupt") ? SIGINT : 0;
    bool exits = ModeHas("exit");
    std::vector<float> line = std::vector<float>(ModeHas("delay") ? kDelay : 0);
    std::size_t at = 0;
    float extra[kMultibandParams - 2] = {0.01f, 0.5f, 0.0f, 0.0f};
    audioMasterCallback host = nullptr;
    int program = 0;
    float gain[2] = {0.5f, 1.0f};
    char names[2][kVstMaxProgNameLen] = {"First", "Second"};
    float tempoSeen = 0.0f;
    bool reverb = ModeHas("reverb");
    float room = 0.2f;
    bool broken = false;
};

Fake& Of(AEffect* effect) { return *static_cast<Fake*>(effect->object); }

bool IsRoom(AEffect* effect, VstInt32 index) { return Of(effect).reverb && index == effect->numParams - 1; }

void FailIfBroken(const Fake& fake) {
    if (fake.broken) throw std::bad_alloc();
}

// Longer than the published 8 bytes, as many plug-ins write: hosts pass more.
constexpr std::size_t kParamText = 24;

void Copy(void* ptr, const std::string& text) { std::snprintf(static_cast<char*>(ptr), kParamText, "%s", text.c_str()); }

VstIntPtr VSTCALLBACK Dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float) {
    Fake& fake = Of(effect);
    char text[32];
    if (opcode == effGetParamName || opcode == effGetParamLabel || opcode == effGetParamDisplay ||
        opcode == effString2Parameter)
        FailIfBroken(fake);
    if (IsRoom(effect, index) && opcode == effGetParamDisplay) {
        fake.broken = fake.room >= kRoomFailsFrom && fake.room < kRoomFailsBelow;
        FailIfBroken(fake);
        std::snprintf(text, sizeof text, "%.1f", fake.room * 100.0);
        Copy(ptr, text);
        return 0;
    }
    if (IsRoom(effect, index) && (opcode == effGetParamName || opcode == effGetParamLabel)) {
        Copy(ptr, opcode == effGetParamName ? "Room size" : "m");
        return 0;
    }
    switch (opcode) {
    case effClose:
        delete &fake;
        return 1;
    case effSetProgram:
        if (value >= 0 && value < 2) fake.program = static_cast<int>(value);
        return 0;
    case effGetProgram:
        return fake.program;
    case effSetProgramName:
        std::snprintf(fake.names[fake.program], kVstMaxProgNameLen, "%s", static_cast<const char*>(ptr));
        return 0;
    case effGetProgramName:
        std::snprintf(static_cast<char*>(ptr), kVstMaxProgNameLen, "%s", fake.names[fake.program]);
        return 0;
    case effGetParamName:
        Copy(ptr, index < 2 ? (index == 0 ? "Gain" : "Tempo") : index < 4 ? "Crossover freq" : index == 4 ? "Input gain" : "Mode");
        return 0;
    case effGetParamLabel:
        Copy(ptr, index < 2 ? (index == 0 ? "%" : "bpm") : index < 4 ? "Hz" : index == 4 ? "dB" : "");
        return 0;
    case effGetParamDisplay:
        if (index < 2) {
            std::snprintf(text, sizeof text, index == 0 ? "%.1f" : "%.0f",
                          index == 0 ? fake.gain[fake.program] * 100.0 : fake.tempoSeen * 1000.0);
        } else {
            const float value = fake.extra[index - 2];
            if (index < 4)
                std::snprintf(text, sizeof text, "%.6f", static_cast<double>(20.0f + value * 20000.0f));
            else if (index == 4)
                std::snprintf(text, sizeof text, value == 0.0f ? "-inf" : "%.2f", -72.0 + 84.0 * value);
            else
                std::snprintf(text, sizeof text, "%s", kModes[std::min(static_cast<int>(value * 3.0f), 2)]);
        }
        Copy(ptr, text);
        return 0;
    case effString2Parameter:
        for (int mode = 0; index == 5 && ptr && mode < 3; ++mode)
            if (std::strcmp(static_cast<const char*>(ptr), kModes[mode]) == 0) {
                fake.extra[3] = static_cast<float>(mode) / 2.0f;
                return 1;
            }
        return 0;
    case effGetEffectName:
        std::snprintf(static_cast<char*>(ptr), kVstMaxEffectNameLen, "Fake gain");
        return 1;
    case effGetVendorVersion:
        return 7;
    case effGetVstVersion:
        return 2400;
    default:
        return 0;
    }
}

void VSTCALLBACK Process(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
    Fake& fake = Of(effect);
    if (fake.raises) std::raise(fake.raises);
    if (fake.exits) std::exit(0);
    if (fake.throws) throw std::runtime_error("out of voices");
    const auto* time = reinterpret_cast<const VstTimeInfo*>(fake.host(effect, audioMasterGetTime, 0, 0, nullptr, 0.0f));
    const bool valid = time && (time->flags & kVstTransportPlaying) && (time->flags & kVstTempoValid);
    if (valid) fake.tempoSeen = static_cast<float>(time->tempo / 1000.0);
    for (VstInt32 j = 0; j < frames; ++j) {
        float sample = effect->numInputs > 0 ? inputs[0][j] : 0.0f;
        if (!fake.line.empty()) {
            std::swap(sample, fake.line[fake.at]);
            fake.at = (fake.at + 1) % fake.line.size();
        }
        outputs[0][j] += sample * fake.gain[fake.program];
        outputs[1][j] += valid ? static_cast<float>(time->samplePos) + static_cast<float>(j) : -1.0f;
    }
    if (!fake.line.empty()) effect->initialDelay = kDelay;
}

void VSTCALLBACK SetParameter(AEffect* effect, VstInt32 index, float value) {
    Fake& fake = Of(effect);
    if (fake.throws) throw std::bad_alloc();
    FailIfBroken(fake);
    if (IsRoom(effect, index)) fake.room = value;
    else if (index == 0) fake.gain[fake.program] = value;
    else if (index >= 2 && index < effect->numParams) fake.extra[index - 2] = value;
}

float VSTCALLBACK GetParameter(AEffect* effect, VstInt32 index) {
    Fake& fake = Of(effect);
    FailIfBroken(fake);
    if (IsRoom(effect, index)) return fake.room;
    if (index >= 2 && index < effect->numParams) return fake.extra[index - 2];
    return index == 0 ? fake.gain[fake.program] : fake.tempoSeen;
}

}  // namespace

FAKE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
    if (ModeHas("refuse")) return nullptr;
    if (ModeHas("badmagic")) {
        static AEffect wrong{};
        wrong.magic = 0x12345678;
        return &wrong;
    }
    auto* fake = new Fake;
    fake->host = host;
    AEffect& e = fake->effect;
    e.magic = kEffectMagic;
    e.dispatcher = Dispatch;
    e.process = Process;
    e.setParameter = SetParameter;
    e.getParameter = GetParameter;
    e.numPrograms = 2;
    e.numParams = (ModeHas("multiband") ? kMultibandParams : 2) + (fake->reverb ? 1 : 0);
    e.numInputs = ModeHas("instrument") ? 0 : 2;
    if (ModeHas("instrument")) e.flags |= effFlagsIsSynth;
    e.numOutputs = 2;
    e.object = fake;
    e.uniqueID = ('H' << 24) | ('s' << 16) | ('T' << 8) | 'f';
    e.version = 3;
    return &e;
}

#endif
