// What an audio file's header declares, read without libsndfile: libsndfile
// reads a file shorter than its header says as a shorter file, silently, and
// names no field it refuses.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

struct DeclaredAudio {
    std::optional<std::uint64_t> dataStart, dataEnd;  // byte offsets of the audio data
    std::optional<double> sampleRate;
};

// For WAV (RIFF, RIFX, RF64, BW64), Wave64, AIFF, AIFF-C and AU; empty for
// other formats, and for what a header leaves open (a streamed file's size).
DeclaredAudio ReadDeclaredAudio(const std::filesystem::path& path);
