#include "lv2_time.h"

#include <cmath>
#include <cstring>

#include <lv2/time/time.h>

CLv2Time::CLv2Time(const LV2_URID_Map* map) {
    if (!map) return;
    const auto id = [map](const char* uri) { return map->map(map->handle, uri); };
    Urid.Sequence = id(LV2_ATOM__Sequence);
    Urid.BeatTime = id(LV2_ATOM__beatTime);
    Urid.Object = id(LV2_ATOM__Object);
    Urid.Blank = id(LV2_ATOM__Blank);
    Urid.Int = id(LV2_ATOM__Int);
    Urid.Long = id(LV2_ATOM__Long);
    Urid.Float = id(LV2_ATOM__Float);
    Urid.Double = id(LV2_ATOM__Double);
    Urid.Position = id(LV2_TIME__Position);
    Urid.Bar = id(LV2_TIME__bar);
    Urid.BarBeat = id(LV2_TIME__barBeat);
    Urid.Beat = id(LV2_TIME__beat);
    Urid.BeatUnit = id(LV2_TIME__beatUnit);
    Urid.BeatsPerBar = id(LV2_TIME__beatsPerBar);
    Urid.BeatsPerMinute = id(LV2_TIME__beatsPerMinute);
    Urid.Speed = id(LV2_TIME__speed);
}

void CLv2Time::Reset() {
    Known = HasTempo = HasBeatsPerBar = HasBeatUnit = HasBeats = false;
    Tempo = BeatsPerBar = BeatUnit = Speed = Beats = 0.0;
}

// Hosts send time fields as any of the numeric atoms; a value that is not a
// finite number leaves the field as it was.
bool CLv2Time::Number(const LV2_Atom& atom, double& value) const {
    const auto* body = &atom + 1;
    const auto read = [&](auto sample) {
        if (atom.size < sizeof sample) return false;
        std::memcpy(&sample, body, sizeof sample);
        value = static_cast<double>(sample);
        return std::isfinite(value);
    };
    if (atom.type == Urid.Int) return read(std::int32_t{});
    if (atom.type == Urid.Long) return read(std::int64_t{});
    if (atom.type == Urid.Float) return read(float{});
    if (atom.type == Urid.Double) return read(double{});
    return false;
}

void CLv2Time::Apply(const LV2_Atom_Object_Body& object, std::uint32_t size) {
    Known = true;
    bool hasBar = false, hasBeat = false;
    double bar = 0.0, barBeat = 0.0, beat = 0.0;
    const auto* properties = reinterpret_cast<const std::uint8_t*>(&object);
    for (std::uint64_t at = sizeof(LV2_Atom_Object_Body); at + sizeof(LV2_Atom_Property_Body) <= size;) {
        const auto& property = *reinterpret_cast<const LV2_Atom_Property_Body*>(properties + at);
        const std::uint64_t valueSize = property.value.size;
        if (valueSize > size - at - sizeof(LV2_Atom_Property_Body)) return;
        double x = 0.0;
        if (Number(property.value, x)) {
            const LV2_URID key = property.key;
            if (key == Urid.BeatsPerMinute) {
                HasTempo = true;
                Tempo = x;
            } else if (key == Urid.Speed) {
                Speed = x;
            } else if (key == Urid.BeatsPerBar) {
                HasBeatsPerBar = true;
                BeatsPerBar = x;
            } else if (key == Urid.BeatUnit) {
                HasBeatUnit = true;
                BeatUnit = x;
            } else if (key == Urid.Bar) {
                hasBar = true;
                bar = x;
            } else if (key == Urid.BarBeat) {
                barBeat = x;
            } else if (key == Urid.Beat) {
                hasBeat = true;
                beat = x;
            }
        }
        at += (sizeof(LV2_Atom_Property_Body) + valueSize + 7) & ~std::uint64_t{7};
    }
    // Bar and beat in the bar say where the transport is; the beat count
    // since the start serves hosts that send only that.
    if (hasBar && HasBeatsPerBar) {
        HasBeats = true;
        Beats = bar * BeatsPerBar + barBeat;
    } else if (hasBeat) {
        HasBeats = true;
        Beats = beat;
    }
}

void CLv2Time::Advance(std::uint32_t frames, double sampleRate) {
    if (!HasBeats || !HasTempo || Speed == 0.0 || !(sampleRate > 0.0)) return;
    // Divided again only when the rate changes: the latency of a division on
    // every run would hold up the next one.
    if (sampleRate != Rate.SampleRate || Tempo != Rate.Tempo || Speed != Rate.Speed) {
        Rate = {sampleRate, Tempo, Speed};
        BeatsPerFrame = Tempo / 60.0 * Speed / sampleRate;
    }
    const double beats = Beats + frames * BeatsPerFrame;
    if (std::isfinite(beats)) Beats = beats;
}

const TPatcherTransport* CLv2Time::Transport() {
    if (!Known) return nullptr;
    Current.HasTempo = HasTempo;
    Current.Tempo = Tempo;
    Current.HasTimeSignature = HasBeatsPerBar && HasBeatUnit;
    Current.TimeSigNumerator = BeatsPerBar;
    Current.TimeSigDenominator = BeatUnit;
    Current.HasPosition = HasBeats;
    // Quarter notes from beats of the host's unit; a quarter when it gives none.
    const double unit = HasBeatUnit && BeatUnit > 0.0 ? BeatUnit : 4.0;
    if (unit != QuarterNotesPer.Unit) QuarterNotesPer = {unit, 4.0 / unit};
    Current.QuarterNotes = Beats * QuarterNotesPer.Beat;
    Current.Playing = Speed != 0.0;
    Current.Recording = false;
    return &Current;
}
