#include "audio_header.h"

#include <cmath>
#include <cstring>
#include <fstream>

namespace {

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF;
constexpr int kMaxChunks = 1000;

class File {
public:
    explicit File(const std::filesystem::path& path) : in(path, std::ios::binary) {}

    bool Read(std::uint64_t at, unsigned char* bytes, std::size_t count) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(at));
        in.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(in.gcount()) == count;
    }

private:
    std::ifstream in;
};

std::uint64_t Little(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

std::uint64_t Big(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

bool Is(const unsigned char* bytes, const char* id) { return std::memcmp(bytes, id, 4) == 0; }

// AIFF keeps its sample rate as an 80-bit extended float.
double Extended(const unsigned char* bytes) {
    const int exponent = (bytes[0] & 0x7F) << 8 | bytes[1];
    const double value = std::ldexp(static_cast<double>(Big(bytes + 2, 8)), exponent - 16383 - 63);
    return (bytes[0] & 0x80) ? -value : value;
}

// RIFF and its relatives: 8-byte chunks after 12 bytes, even-aligned.
DeclaredAudio Riff(File& file, bool bigEndian, bool rf64) {
    auto number = [&](const unsigned char* bytes, int count) { return bigEndian ? Big(bytes, count) : Little(bytes, count); };
    DeclaredAudio declared;
    std::optional<std::uint64_t> largeDataSize;
    std::uint64_t at = 12;
    unsigned char chunk[24];
    for (int i = 0; i < kMaxChunks && file.Read(at, chunk, 8); ++i) {
        const std::uint64_t size = number(chunk + 4, 4);
        if (Is(chunk, "ds64") && rf64 && file.Read(at + 8, chunk + 8, 16)) largeDataSize = number(chunk + 16, 8);
        if (Is(chunk, "fmt ") && file.Read(at + 8, chunk + 8, 8)) declared.sampleRate = static_cast<double>(number(chunk + 12, 4));
        if (Is(chunk, "data")) {
            const std::uint64_t data = size == kUnknownSize && largeDataSize ? *largeDataSize : size;
            declared.dataStart = at + 8;
            if (data != kUnknownSize) declared.dataEnd = at + 8 + data;
            break;
        }
        at += 8 + size + (size & 1);
    }
    return declared;
}

// Wave64: 16-byte chunk IDs that start with the RIFF name, 64-bit sizes
// that count the 24-byte chunk header, 8-aligned.
DeclaredAudio Wave64(File& file) {
    DeclaredAudio declared;
    std::uint64_t at = 40;
    unsigned char chunk[32];
    for (int i = 0; i < kMaxChunks && file.Read(at, chunk, 24); ++i) {
        const std::uint64_t size = Little(chunk + 16, 8);
        if (size < 24) break;
        if (Is(chunk, "fmt ") && file.Read(at + 24, chunk + 24, 8)) declared.sampleRate = static_cast<double>(Little(chunk + 28, 4));
        if (Is(chunk, "data")) {
            declared.dataStart = at + 24;
            declared.dataEnd = at + size;
            break;
        }
        at += (size + 7) & ~std::uint64_t(7);
    }
    return declared;
}

DeclaredAudio Aiff(File& file) {
    DeclaredAudio declared;
    std::uint64_t at = 12;
    unsigned char chunk[32];
    for (int i = 0; i < kMaxChunks && file.Read(at, chunk, 8); ++i) {
        const std::uint64_t size = Big(chunk + 4, 4);
        if (Is(chunk, "COMM") && file.Read(at + 8, chunk + 8, 18)) declared.sampleRate = Extended(chunk + 16);
        if (Is(chunk, "SSND") && file.Read(at + 8, chunk + 8, 4)) {
            declared.dataStart = at + 16 + Big(chunk + 8, 4);
            declared.dataEnd = at + 8 + size;
            break;
        }
        at += 8 + size + (size & 1);
    }
    return declared;
}

DeclaredAudio Au(File& file) {
    DeclaredAudio declared;
    unsigned char header[20];
    if (!file.Read(0, header, sizeof header)) return declared;
    const std::uint64_t offset = Big(header + 4, 4), size = Big(header + 8, 4);
    declared.dataStart = offset;
    if (size != kUnknownSize) declared.dataEnd = offset + size;
    declared.sampleRate = static_cast<double>(Big(header + 16, 4));
    return declared;
}

}  // namespace

DeclaredAudio ReadDeclaredAudio(const std::filesystem::path& path) {
    File file(path);
    unsigned char head[12];
    if (!file.Read(0, head, sizeof head)) return {};
    if ((Is(head, "RIFF") || Is(head, "RIFX") || Is(head, "RF64") || Is(head, "BW64")) && Is(head + 8, "WAVE"))
        return Riff(file, Is(head, "RIFX"), !Is(head, "RIFF") && !Is(head, "RIFX"));
    if (Is(head, "riff")) return Wave64(file);
    if (Is(head, "FORM") && (Is(head + 8, "AIFF") || Is(head + 8, "AIFC"))) return Aiff(file);
    if (Is(head, ".snd")) return Au(file);
    return {};
}
