// The host's transport as LV2 tells it: time:Position objects on an atom
// port, sent when something changes. Between them the position moves on by
// itself at the last tempo and speed, as the host's own clock does.
#pragma once

#include <algorithm>
#include <cstdint>

#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include "patcher_plugin.h"

class CLv2Time {
public:
    // Without a map no object can be recognised: the transport stays unknown.
    explicit CLv2Time(const LV2_URID_Map* map);

    // Activation starts from an unknown transport: what an earlier run was
    // told may no longer hold.
    void Reset();

    // One run of `frames` frames. Positions at its first frame count for the
    // whole block: `render` gets the transport from there, or null while no
    // position has arrived. Later ones take effect from the next run on. The
    // sequence may be null; whatever it holds is read within its size only.
    template <class Render>
    void Run(const LV2_Atom_Sequence* sequence, std::uint32_t frames, double sampleRate, Render&& render);

private:
    // Calls `visit(frame, object, size)` for each time:Position in the sequence.
    template <class Visit>
    void ForEachPosition(const LV2_Atom_Sequence* sequence, Visit&& visit) const;
    void Apply(const LV2_Atom_Object_Body& object, std::uint32_t size);
    void Advance(std::uint32_t frames, double sampleRate);
    bool Number(const LV2_Atom& atom, double& value) const;
    const TPatcherTransport* Transport();

    struct {
        LV2_URID Sequence = 0, BeatTime = 0, Object = 0, Blank = 0, Int = 0, Long = 0, Float = 0, Double = 0;
        LV2_URID Position = 0, Bar = 0, BarBeat = 0, Beat = 0, BeatUnit = 0, BeatsPerBar = 0, BeatsPerMinute = 0,
                 Speed = 0;
    } Urid;

    bool Known = false;
    bool HasTempo = false, HasBeatsPerBar = false, HasBeatUnit = false, HasBeats = false;
    double Tempo = 0.0, BeatsPerBar = 0.0, BeatUnit = 0.0, Speed = 0.0;
    double Beats = 0.0;  // since the start, in the host's beat unit
    // What the last rate and unit came to.
    struct {
        double SampleRate = 0.0, Tempo = 0.0, Speed = 0.0;
    } Rate;
    double BeatsPerFrame = 0.0;
    struct {
        double Unit = 4.0, Beat = 1.0;
    } QuarterNotesPer;
    TPatcherTransport Current;
};

template <class Visit>
void CLv2Time::ForEachPosition(const LV2_Atom_Sequence* sequence, Visit&& visit) const {
    if (!sequence || !Urid.Position || sequence->atom.type != Urid.Sequence) return;
    // Times in beats are not frames: such events go at the block's start.
    const bool inBeats = sequence->body.unit == Urid.BeatTime;
    const auto* body = reinterpret_cast<const std::uint8_t*>(&sequence->body);
    const std::uint64_t size = sequence->atom.size;
    for (std::uint64_t at = sizeof(LV2_Atom_Sequence_Body); at + sizeof(LV2_Atom_Event) <= size;) {
        const auto* event = reinterpret_cast<const LV2_Atom_Event*>(body + at);
        const std::uint64_t atomSize = event->body.size;
        if (atomSize > size - at - sizeof(LV2_Atom_Event)) return;
        const LV2_Atom& atom = event->body;
        if ((atom.type == Urid.Object || atom.type == Urid.Blank) && atomSize >= sizeof(LV2_Atom_Object_Body)) {
            const auto& object = *reinterpret_cast<const LV2_Atom_Object_Body*>(&atom + 1);
            if (object.otype == Urid.Position) visit(inBeats ? 0 : event->time.frames, object, static_cast<std::uint32_t>(atomSize));
        }
        at += (sizeof(LV2_Atom_Event) + atomSize + 7) & ~std::uint64_t{7};
    }
}

template <class Render>
void CLv2Time::Run(const LV2_Atom_Sequence* sequence, std::uint32_t frames, double sampleRate, Render&& render) {
    bool rendered = false;
    std::uint32_t at = 0;
    ForEachPosition(sequence, [&](std::int64_t time, const LV2_Atom_Object_Body& object, std::uint32_t size) {
        // Out of order or outside the block, an event counts where it can.
        const auto frame = static_cast<std::uint32_t>(std::clamp<std::int64_t>(time, at, frames));
        if (frame > 0 && !rendered) {
            render(Transport());
            rendered = true;
        }
        Advance(frame - at, sampleRate);
        at = frame;
        Apply(object, size);
    });
    if (!rendered) render(Transport());
    Advance(frames - at, sampleRate);
}
