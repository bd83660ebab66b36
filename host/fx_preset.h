// VST 2 preset files: programs (.fxp) and banks (.fxb), each either a list of
// parameter values or the plug-in's opaque state chunk. Big-endian throughout.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host_session.h"

constexpr std::size_t kFxProgramHeaderSize = 56;  // up to the parameters or the chunk size
constexpr std::size_t kFxBankHeaderSize = 156;
constexpr std::size_t kFxProgramNameSize = 28;
// A bank header, its chunk size and the largest chunk the size can give.
constexpr std::size_t kFxLargestPreset = kFxBankHeaderSize + 4 + 0x7FFFFFFF;

struct FxPreset {
    bool bank = false;
    bool opaque = true;  // a state chunk rather than parameter values
    VstInt32 formatVersion = 1;
    VstInt32 fxId = 0;
    VstInt32 fxVersion = 0;
    VstInt32 numParams = 0;       // programs: the parameter count written
    std::string name;             // programs only
    std::vector<float> params;    // parameter programs
    std::vector<unsigned char> chunk;  // opaque programs and banks
    VstInt32 currentProgram = 0;  // banks
    std::vector<FxPreset> programs;    // parameter banks
};

std::vector<unsigned char> WritePreset(const FxPreset& preset);
// Throws HostError(Preset) for anything but a well-formed file. The header's
// byte-size field is not trusted; every other length is checked.
FxPreset ReadPreset(std::span<const unsigned char> bytes);

FxPreset ReadPresetFile(const std::string& path);
void WritePresetFile(const std::string& path, const FxPreset& preset);

// The plug-in's current program, or all its programs.
FxPreset CapturePreset(const HostSession& session, bool bank);
// Throws HostError(Preset) for a preset of another plug-in or a kind it
// cannot take; `source` names the preset in messages.
void ApplyPreset(const HostSession& session, const FxPreset& preset, const std::string& source);

// "'abcd'" for printable IDs, else the number.
std::string FormatFxId(VstInt32 id);
