#include "vst2_migration.h"

#include <cctype>

namespace {

constexpr std::uint32_t FourChars(const char (&text)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}

constexpr std::uint32_t kWrapperHeader = FourChars("VstW");
constexpr std::uint32_t kPresetMagic = FourChars("CcnK");
constexpr std::uint32_t kProgramChunk = FourChars("FPCh");
constexpr std::uint32_t kBankChunk = FourChars("FBCh");
// Where the chunk's size stands: after the common fields, the program's
// 28-byte name, or the bank's program count and 128 reserved bytes.
constexpr std::size_t kProgramChunkSizeAt = 56;
constexpr std::size_t kBankChunkSizeAt = 156;
constexpr std::size_t kUniqueIdAt = 16;

// Preset files are big-endian throughout.
class CReader {
public:
    CReader(const std::uint8_t* bytes, std::size_t count) : Bytes(bytes), Count(count) {}

    bool Word(std::size_t at, std::uint32_t& word) const {
        if (at > Count || Count - at < 4) return false;
        word = 0;
        for (std::size_t i = 0; i < 4; ++i) word = word << 8 | Bytes[at + i];
        return true;
    }
    bool Is(std::size_t at, std::uint32_t expected) const {
        std::uint32_t word;
        return Word(at, word) && word == expected;
    }

    const std::uint8_t* Bytes;
    std::size_t Count;
};

// Past the wrapper's header, if there is one: its size counts what follows it.
bool SkipWrapperHeader(CReader& reader) {
    std::uint32_t size;
    if (!reader.Is(0, kWrapperHeader)) return true;
    if (!reader.Word(4, size) || size > reader.Count - 8) return false;
    reader.Bytes += 8 + size;
    reader.Count -= 8 + size;
    return true;
}

}  // namespace

TVst3ClassId vst3::Vst2ClassId(std::int32_t uniqueId, std::string_view name) {
    std::uint8_t letters[9] = {};
    for (std::size_t i = 0; i < sizeof letters && i < name.size(); ++i)
        letters[i] = static_cast<std::uint8_t>(std::tolower(static_cast<unsigned char>(name[i])));
    const auto id = static_cast<std::uint32_t>(uniqueId);
    auto word = [&](int first) {
        return std::uint32_t{letters[first]} << 24 | std::uint32_t{letters[first + 1]} << 16 |
               std::uint32_t{letters[first + 2]} << 8 | std::uint32_t{letters[first + 3]};
    };
    constexpr std::uint32_t kVst = std::uint32_t{'V'} << 24 | std::uint32_t{'S'} << 16 | std::uint32_t{'T'} << 8;
    return {{kVst | id >> 24, id << 8 | letters[0], word(1), word(5)}};
}

bool vst3::LooksLikeVst2Preset(const std::uint8_t* bytes, std::size_t count) {
    const CReader reader(bytes, count);
    return reader.Is(0, kWrapperHeader) || reader.Is(0, kPresetMagic);
}

bool vst3::Vst2PresetChunk(const std::uint8_t* bytes, std::size_t count, const std::uint8_t*& chunk,
                           std::size_t& chunkSize) {
    CReader reader(bytes, count);
    std::uint32_t uniqueId, size;
    if (!SkipWrapperHeader(reader) || !reader.Is(0, kPresetMagic) || !reader.Word(kUniqueIdAt, uniqueId) ||
        uniqueId != static_cast<std::uint32_t>(kVst2UniqueId))
        return false;
    std::size_t sizeAt;
    if (reader.Is(8, kProgramChunk))
        sizeAt = kProgramChunkSizeAt;
    else if (reader.Is(8, kBankChunk))
        sizeAt = kBankChunkSizeAt;
    else
        return false;
    if (!reader.Word(sizeAt, size) || size > reader.Count - (sizeAt + 4)) return false;
    chunk = reader.Bytes + sizeAt + 4;
    chunkSize = size;
    return true;
}
