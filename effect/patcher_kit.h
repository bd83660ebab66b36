// What every format's adapter needs beside CPatcherPlugin and would
// otherwise write again: channel masks, a buffer's channels in one precision,
// silence for outputs past ours, texts into a host's fixed fields, a
// transport from a record of flags.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "patcher_plugin.h"

namespace patcher_kit {

// Channels `from` up to `count` as bits of a 64-bit mask, as hosts keep
// silence and constancy flags; channels past 64 have no bit.
constexpr std::uint64_t ChannelMask(std::uint32_t from, std::uint32_t count) {
    const std::uint64_t all = count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
    const std::uint64_t below = from >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << from) - 1;
    return all & ~below;
}

// A host buffer's channels in the precision being rendered; either may be null.
template <class Sample, class Channels32, class Channels64>
auto Channels(Channels32 single, Channels64 twice) {
    if constexpr (sizeof(Sample) == sizeof(float))
        return single;
    else
        return twice;
}

// Fills every channel given with `frames` frames of silence.
template <class Sample>
void Silence(Sample* const* channels, std::uint32_t count, std::uint32_t frames) {
    for (std::uint32_t c = 0; channels && c < count; ++c)
        if (channels[c]) std::fill_n(channels[c], frames, Sample(0));
}

// Copies as much of `source` as fits in `size` characters with its
// terminating zero. Our texts are ASCII: wider characters take them as they
// are, and anything else shows as '?'.
template <class Char>
void CopyText(Char* dest, std::size_t size, std::string_view source) {
    if (!dest || size == 0) return;
    const std::size_t n = std::min(source.size(), size - 1);
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(source[i]);
        dest[i] = sizeof(Char) == 1 || c < 0x80 ? static_cast<Char>(source[i]) : Char('?');
    }
    dest[n] = 0;
}

// A host's zero-terminated text, at most `limit` characters of it, into
// `dest`: false when it is longer or holds a character that is not ASCII,
// which none of our texts is.
template <class Char>
bool ReadText(const Char* source, char* dest, std::size_t limit, std::size_t& length) {
    length = 0;
    if (!source) return false;
    while (length < limit && source[length] != 0) {
        if (sizeof(Char) > 1 && static_cast<std::uint32_t>(source[length]) >= 0x80) return false;
        dest[length] = static_cast<char>(source[length]);
        ++length;
    }
    return length < limit;
}

// The bits of a format's transport flags that say a field is known, or that
// the transport plays or records.
struct TTransportFlags {
    std::uint64_t Tempo, TimeSignature, Position, Playing, Recording;
};

// A transport as formats that keep one flag word for it tell it.
constexpr TPatcherTransport Transport(std::uint64_t flags, const TTransportFlags& bits, double tempo,
                                      double numerator, double denominator, double quarterNotes) {
    return {.HasTempo = (flags & bits.Tempo) != 0,
            .Tempo = tempo,
            .HasTimeSignature = (flags & bits.TimeSignature) != 0,
            .TimeSigNumerator = numerator,
            .TimeSigDenominator = denominator,
            .HasPosition = (flags & bits.Position) != 0,
            .QuarterNotes = quarterNotes,
            .Playing = (flags & bits.Playing) != 0,
            .Recording = (flags & bits.Recording) != 0};
}

}  // namespace patcher_kit
