#include "vst3_plugin.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "patcher_kit.h"
#include "patcher_reporter.h"
#include "vst2_migration.h"
#include "vst3_ids.h"

namespace {

constexpr std::int32_t kChannels = CPatcherPlugin::kChannels;
// The arrangement each bus reports until a host sets another.
constexpr TVst3SpeakerArrangement kFirstArrangement = kVst3First16Speakers;

bool KnownParam(TVst3ParamId id) { return id < static_cast<std::uint32_t>(CPatcherPlugin::ParameterCount()); }

using patcher_kit::ChannelMask;
using patcher_kit::CopyText;

// A host's stream as the kit reads it. A read that reports failure yet
// says it delivered some bytes ends the stream with them, as a file stream
// reports its end; one that delivered nothing failed.
class CStreamReader {
public:
    explicit CStreamReader(TVst3Stream* stream) : Stream(stream) {}

    std::int64_t operator()(std::uint8_t* bytes, std::size_t count) {
        if (Ended) return 0;
        std::int32_t read = 0;
        const auto asked = static_cast<std::int32_t>(std::min<std::size_t>(count, INT32_MAX));
        const bool failed = Stream->Vtbl->Read(Stream, bytes, asked, &read) != kVst3ResultOk;
        if (read < 0 || read > asked || (failed && read == 0)) return -1;
        Ended = failed;
        return read;
    }

private:
    TVst3Stream* Stream;
    bool Ended = false;
};

bool Readable(const TVst3Stream* stream) { return stream && stream->Vtbl && stream->Vtbl->Read; }

// The longest VST 2 preset taken: the bank form of our chunk with a
// wrapper's header is under 500 bytes.
constexpr std::size_t kLongestVst2Preset = 4096;

// Loads a state from a stream into `patcher`, all or nothing: our own chunk,
// or the VST 2 plug-in's inside one of its preset forms.
TPatcherStateResult LoadState(CPatcherPlugin& patcher, TVst3Stream* stream) {
    if (!Readable(stream)) return TPatcherStateResult::StreamFailed;
    CStreamReader read(stream);
    std::uint8_t bytes[kLongestVst2Preset];
    std::size_t count = 0;
    if (!CPatcherPlugin::ReadStream(read, bytes, CPatcherPlugin::kStateBytes, count))
        return TPatcherStateResult::StreamFailed;
    const std::uint8_t* chunk = bytes;
    std::size_t chunkSize = count;
    if (vst3::LooksLikeVst2Preset(bytes, count)) {
        if (!CPatcherPlugin::ReadStream(read, bytes, sizeof bytes, count)) return TPatcherStateResult::StreamFailed;
        if (!vst3::Vst2PresetChunk(bytes, count, chunk, chunkSize)) return TPatcherStateResult::NotOurs;
    }
    try {
        return patcher.LoadState(chunk, chunkSize) ? TPatcherStateResult::Done : TPatcherStateResult::NotOurs;
    } catch (...) {
        return TPatcherStateResult::NoMemory;
    }
}

TPatcherStateResult SaveState(CPatcherPlugin& patcher, TVst3Stream* stream) {
    if (!stream || !stream->Vtbl || !stream->Vtbl->Write) return TPatcherStateResult::StreamFailed;
    return patcher.SaveStateTo([stream](const std::uint8_t* bytes, std::size_t count) -> std::int64_t {
        std::int32_t written = 0;
        const auto offered = static_cast<std::int32_t>(std::min<std::size_t>(count, INT32_MAX));
        if (stream->Vtbl->Write(stream, const_cast<std::uint8_t*>(bytes), offered, &written) != kVst3ResultOk)
            return -1;
        return written;
    });
}

// What a failing host stream costs, told once an activation on standard
// error, where VST 3 gives no log of its own.
void Tell(TPatcherMisbehaviour kind) {
    const char* what = "";
    switch (kind) {
    case TPatcherMisbehaviour::StreamFailure:
        what = "gave a state stream that failed: nothing was loaded or saved";
        break;
    case TPatcherMisbehaviour::BufferLayout:
        what = "processed with buses other than one of 16 channels each way: the channels given were written, "
               "those missing were read as silence";
        break;
    case TPatcherMisbehaviour::OutOfRange: what = "asked of a bus or parameter that does not exist"; break;
    case TPatcherMisbehaviour::WrongState: what = "processed while not active"; break;
    case TPatcherMisbehaviour::WrongThread: break;
    }
    std::fprintf(stderr, "multichannel_patcher (VST 3): the host %s\n", what);
}

// The answer for a state load or save, each failure marked.
TVst3Result Answer(TPatcherStateResult result, CPatcherReporter& reporter) {
    if (result == TPatcherStateResult::StreamFailed) {
        reporter.Mark(TPatcherMisbehaviour::StreamFailure);
        reporter.Flush(Tell);
    }
    return result == TPatcherStateResult::Done ? kVst3ResultOk : kVst3ResultFalse;
}

// One interface of an object: the table the host calls through, then the
// object, which the host never looks at.
template <class Owner>
struct TFace {
    const void* Table;
    Owner* Self;
};

template <class Owner>
Owner& Of(void* face) {
    return *static_cast<TFace<Owner>*>(face)->Self;
}

template <class Owner>
std::uint32_t VST3CALL AddRef(void* face) {
    return ++Of<Owner>(face).References;
}

template <class Owner>
std::uint32_t VST3CALL Release(void* face) {
    Owner* self = &Of<Owner>(face);
    const std::uint32_t left = --self->References;
    if (left == 0) delete self;
    return left;
}

template <class Owner>
TVst3Result VST3CALL QueryInterface(void* face, const TVst3Tuid iid, void** object) {
    if (!object) return kVst3InvalidArgument;
    *object = iid ? Of<Owner>(face).Face(iid) : nullptr;
    if (!*object) return kVst3NoInterface;
    ++Of<Owner>(face).References;
    return kVst3ResultOk;
}

// A new object with one reference, asked for one of its interfaces; the
// object goes when it has not that interface.
template <class Owner>
TVst3Result Create(const char* iid, void** object) {
    Owner* owner;
    try {
        owner = new Owner;
    } catch (...) {
        return kVst3OutOfMemory;
    }
    const TVst3Result result = QueryInterface<Owner>(owner->Face(kVst3UnknownIid.Bytes), iid, object);
    Release<Owner>(owner->Face(kVst3UnknownIid.Bytes));
    return result;
}

// Hosts connect the processor and the controller before they use either,
// and some refuse a plug-in whose parts cannot be connected. The two parts
// share nothing but the state the host hands both, so no message is taken.
TVst3Result VST3CALL Connect(void*, TVst3ConnectionPoint* other) {
    return other ? kVst3ResultOk : kVst3InvalidArgument;
}
TVst3Result VST3CALL Notify(void*, TVst3Message*) { return kVst3ResultFalse; }

template <class Owner>
constexpr TVst3ConnectionPointVtbl kConnectionPoint = {QueryInterface<Owner>, AddRef<Owner>, Release<Owner>,
                                                       Connect, Connect, Notify};

TVst3Result VST3CALL Initialize(void*, TVst3Unknown*) { return kVst3ResultOk; }
TVst3Result VST3CALL Terminate(void*) { return kVst3ResultOk; }

// ---------------------------------------------------------------------------
// The processor

// A bus's channels in one precision; null where the host gave none.
template <class Sample>
Sample** Channels(const TVst3AudioBusBuffers& bus) {
    return patcher_kit::Channels<Sample>(bus.Buffers32, bus.Buffers64);
}

std::uint32_t ChannelCount(const TVst3AudioBusBuffers& bus) {
    return bus.NumChannels > 0 ? static_cast<std::uint32_t>(bus.NumChannels) : 0;
}

// The points of a process call's parameter queues in the order of their
// sample offsets, a queue's own points in its order. Queues of parameters we
// do not have are skipped, and a queue ends at its first point that cannot
// be read.
class CChanges {
public:
    explicit CChanges(TVst3ParameterChanges* changes) {
        if (!changes || !changes->Vtbl || !changes->Vtbl->GetParameterCount || !changes->Vtbl->GetParameterData)
            return;
        const std::int32_t count = changes->Vtbl->GetParameterCount(changes);
        for (std::int32_t i = 0; i < count && Used < kMostQueues; ++i) {
            TVst3ParamValueQueue* queue = changes->Vtbl->GetParameterData(changes, i);
            if (!queue || !queue->Vtbl || !queue->Vtbl->GetParameterId || !queue->Vtbl->GetPointCount ||
                !queue->Vtbl->GetPoint)
                continue;
            const TVst3ParamId id = queue->Vtbl->GetParameterId(queue);
            if (!KnownParam(id)) continue;
            TCursor& cursor = Cursors[Used];
            cursor = {queue, static_cast<std::int32_t>(id), 0, std::max(queue->Vtbl->GetPointCount(queue), 0), 0, 0.0};
            if (Advance(cursor)) ++Used;
        }
    }

    bool Empty() const { return Used == 0; }

    // The next point as a change of step, false after the last.
    bool operator()(TPatcherChange& change) {
        if (Used == 0) return false;
        TCursor* first = std::min_element(Cursors, Cursors + Used, [](const TCursor& a, const TCursor& b) {
            return a.Offset < b.Offset;
        });
        change.Index = first->Id;
        change.Frame = first->Offset;
        vst3::StepOf(first->Value, change.Value);
        if (!Advance(*first)) {
            std::move(first + 1, Cursors + Used, first);
            --Used;
        }
        return true;
    }

private:
    struct TCursor {
        TVst3ParamValueQueue* Queue;
        std::int32_t Id, Next, Count;
        std::uint32_t Offset;
        double Value;
    };

    static bool Advance(TCursor& cursor) {
        while (cursor.Next < cursor.Count) {
            std::int32_t offset = 0;
            double value = 0.0;
            if (cursor.Queue->Vtbl->GetPoint(cursor.Queue, cursor.Next++, &offset, &value) != kVst3ResultOk)
                return false;
            if (std::isnan(value)) continue;
            cursor.Offset = static_cast<std::uint32_t>(std::max(offset, 0));
            cursor.Value = value;
            return true;
        }
        return false;
    }

    // More queues than a host sends for two parameters.
    static constexpr int kMostQueues = 8;
    TCursor Cursors[kMostQueues];
    int Used = 0;
};

class CProcessor {
public:
    // The effect's description, which the audio thread reads, is built on
    // first use: here, where allocating is allowed.
    CProcessor() { CPatcherPlugin::ParameterCount(); }

    void* Face(const char* iid) {
        if (kVst3UnknownIid.Is(iid) || kVst3PluginBaseIid.Is(iid) || kVst3ComponentIid.Is(iid)) return &Component;
        if (kVst3AudioProcessorIid.Is(iid)) return &Processor;
        if (kVst3ProcessContextRequirementsIid.Is(iid)) return &Requirements;
        if (kVst3ConnectionPointIid.Is(iid)) return &Connection;
        return nullptr;
    }

    std::atomic<std::uint32_t> References{1};

private:
    static CProcessor& Self(void* face) { return Of<CProcessor>(face); }

    static TVst3Result VST3CALL GetControllerClassId(void*, TVst3Tuid classId) {
        if (!classId) return kVst3InvalidArgument;
        std::memcpy(classId, kVst3ControllerClass.Uid().Bytes, sizeof(TVst3Tuid));
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL SetIoMode(void*, std::int32_t) { return kVst3ResultOk; }
    static bool MainAudioBus(std::int32_t type, std::int32_t direction, std::int32_t index) {
        return type == kVst3Audio && (direction == kVst3Input || direction == kVst3Output) && index == 0;
    }
    static std::int32_t VST3CALL GetBusCount(void*, std::int32_t type, std::int32_t direction) {
        return MainAudioBus(type, direction, 0) ? 1 : 0;
    }
    // A bus that does not exist, marked: hosts ask only for those counted.
    bool KnownBus(std::int32_t type, std::int32_t direction, std::int32_t index) {
        if (MainAudioBus(type, direction, index)) return true;
        Reporter.Mark(TPatcherMisbehaviour::OutOfRange);
        return false;
    }
    static TVst3Result VST3CALL GetBusInfo(void* face, std::int32_t type, std::int32_t direction, std::int32_t index,
                                           TVst3BusInfo* bus) {
        if (!bus || !Self(face).KnownBus(type, direction, index)) return kVst3InvalidArgument;
        bus->MediaType = kVst3Audio;
        bus->Direction = direction;
        bus->ChannelCount = kChannels;
        CopyText(bus->Name, 128, direction == kVst3Input ? "16 inputs" : "16 outputs");
        bus->BusType = kVst3MainBus;
        bus->Flags = kVst3BusDefaultActive;
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL GetRoutingInfo(void*, TVst3RoutingInfo*, TVst3RoutingInfo*) {
        return kVst3NotImplemented;
    }
    static TVst3Result VST3CALL ActivateBus(void* face, std::int32_t type, std::int32_t direction,
                                            std::int32_t index, std::uint8_t) {
        return Self(face).KnownBus(type, direction, index) ? kVst3ResultOk : kVst3InvalidArgument;
    }
    // Main thread: what the audio thread marked is told here.
    static TVst3Result VST3CALL SetActive(void* face, std::uint8_t state) {
        CProcessor& self = Self(face);
        self.Reporter.Flush(Tell);
        if (state) {
            self.Reporter.Rearm();
            self.Patcher.Activate(self.SampleRate, self.MaxFrames);
        } else {
            self.Patcher.Deactivate();
        }
        self.Active = state != 0;
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL Terminate(void* face) {
        Self(face).Reporter.Flush(Tell);
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL SetState(void* face, TVst3Stream* state) {
        return Answer(LoadState(Self(face).Patcher, state), Self(face).Reporter);
    }
    static TVst3Result VST3CALL GetState(void* face, TVst3Stream* state) {
        return Answer(SaveState(Self(face).Patcher, state), Self(face).Reporter);
    }

    // Any 16 speakers, named or not: routing goes by channel index.
    static bool SixteenChannels(const TVst3SpeakerArrangement* arrangements, std::int32_t count) {
        return count == 1 && arrangements && std::popcount(arrangements[0]) == kChannels;
    }
    // What is accepted becomes current, and is what the host reads back.
    static TVst3Result VST3CALL SetBusArrangements(void* face, TVst3SpeakerArrangement* inputs,
                                                   std::int32_t inputCount, TVst3SpeakerArrangement* outputs,
                                                   std::int32_t outputCount) {
        if (!SixteenChannels(inputs, inputCount) || !SixteenChannels(outputs, outputCount)) return kVst3ResultFalse;
        Self(face).Arrangements[kVst3Input] = inputs[0];
        Self(face).Arrangements[kVst3Output] = outputs[0];
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL GetBusArrangement(void* face, std::int32_t direction, std::int32_t index,
                                                  TVst3SpeakerArrangement* arrangement) {
        if (!arrangement || !Self(face).KnownBus(kVst3Audio, direction, index)) return kVst3InvalidArgument;
        *arrangement = Self(face).Arrangements[direction];
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL CanProcessSampleSize(void*, std::int32_t size) {
        return size == kVst3Sample32 || size == kVst3Sample64 ? kVst3ResultOk : kVst3ResultFalse;
    }
    static std::uint32_t VST3CALL GetLatencySamples(void* face) {
        return static_cast<std::uint32_t>(std::max(Self(face).Patcher.Latency(), 0));
    }
    static TVst3Result VST3CALL SetupProcessing(void* face, TVst3ProcessSetup* setup) {
        if (!setup || !std::isfinite(setup->SampleRate) || setup->SampleRate <= 0.0) return kVst3InvalidArgument;
        if (CanProcessSampleSize(face, setup->SymbolicSampleSize) != kVst3ResultOk) return kVst3ResultFalse;
        Self(face).SampleRate = setup->SampleRate;
        Self(face).MaxFrames = std::max(setup->MaxSamplesPerBlock, 0);
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL SetProcessing(void*, std::uint8_t) { return kVst3ResultOk; }
    static TVst3Result VST3CALL Process(void* face, TVst3ProcessData* data) {
        CProcessor& self = Self(face);
        if (!data || data->NumSamples < 0) return kVst3InvalidArgument;
        if (data->NumSamples == 0) {
            // No audio to touch: the parameter changes still count.
            self.Patcher.ApplyChanges(CChanges(data->InputParameterChanges));
            return kVst3ResultOk;
        }
        // Audio while inactive is rendered all the same: the routing needs no
        // activation. Calls of no frames may come at any time to flush changes.
        if (!self.Active.load(std::memory_order_relaxed)) self.Reporter.Mark(TPatcherMisbehaviour::WrongState);
        if (data->SymbolicSampleSize == kVst3Sample64) return self.Render<double>(*data);
        if (data->SymbolicSampleSize == kVst3Sample32) return self.Render<float>(*data);
        return kVst3InvalidArgument;
    }
    static std::uint32_t VST3CALL GetTailSamples(void*) { return 0; }

    static std::uint32_t VST3CALL GetProcessContextRequirements(void*) {
        return kVst3NeedProjectTimeMusic | kVst3NeedTempo | kVst3NeedTimeSignature | kVst3NeedTransportState;
    }

    template <class Sample>
    TVst3Result Render(TVst3ProcessData& data) {
        const auto frames = static_cast<std::uint32_t>(data.NumSamples);
        TVst3AudioBusBuffers* in = data.NumInputs > 0 ? data.Inputs : nullptr;
        TVst3AudioBusBuffers* out = data.NumOutputs > 0 ? data.Outputs : nullptr;
        // Buses past the one described get silence.
        for (std::int32_t b = 1; out && b < data.NumOutputs; ++b) {
            patcher_kit::Silence(Channels<Sample>(out[b]), ChannelCount(out[b]), frames);
            out[b].SilenceFlags = ChannelMask(0, ChannelCount(out[b]));
        }
        TPatcherTransport transport;
        CChanges changes(data.InputParameterChanges);
        const TPatcherProcessed processed = Patcher.Process<Sample>(
            PatcherTransport(data.ProcessContext, transport), in ? Channels<Sample>(*in) : nullptr,
            in ? ChannelCount(*in) : 0, out ? Channels<Sample>(*out) : nullptr, out ? ChannelCount(*out) : 0, frames,
            changes.Empty() ? TPatcherChanges{} : TPatcherChanges::From(changes), in ? in->SilenceFlags : 0);
        // Described: one bus of 16 channels each way, all of them given.
        if (data.NumInputs != 1 || data.NumOutputs != 1 || ChannelCount(*in) != kChannels ||
            ChannelCount(*out) != kChannels || !processed.AllChannelsGiven)
            Reporter.Mark(TPatcherMisbehaviour::BufferLayout);
        if (out) out->SilenceFlags = processed.SilentOutputs;
        return kVst3ResultOk;
    }

    static constexpr TVst3ComponentVtbl kComponent = {
        QueryInterface<CProcessor>, AddRef<CProcessor>, Release<CProcessor>, Initialize, CProcessor::Terminate,
        GetControllerClassId,       SetIoMode,          GetBusCount,         GetBusInfo, GetRoutingInfo,
        ActivateBus,                SetActive,          SetState,            GetState,
    };
    static constexpr TVst3AudioProcessorVtbl kProcessor = {
        QueryInterface<CProcessor>, AddRef<CProcessor>, Release<CProcessor>, SetBusArrangements,
        GetBusArrangement,          CanProcessSampleSize, GetLatencySamples, SetupProcessing,
        SetProcessing,              Process,            GetTailSamples,
    };
    static constexpr TVst3ProcessContextRequirementsVtbl kRequirements = {
        QueryInterface<CProcessor>, AddRef<CProcessor>, Release<CProcessor>, GetProcessContextRequirements};

    TFace<CProcessor> Component{&kComponent, this};
    TFace<CProcessor> Processor{&kProcessor, this};
    TFace<CProcessor> Requirements{&kRequirements, this};

    TFace<CProcessor> Connection{&kConnectionPoint<CProcessor>, this};

    CPatcherPlugin Patcher;
    CPatcherReporter Reporter;
    // Set on the main thread, read by the audio thread.
    std::atomic<bool> Active{false};
    // From the host's setup, for the next activation; main thread.
    double SampleRate = 44100.0;
    std::int32_t MaxFrames = 0;
    // Each direction's bus as the host last set it up, by direction.
    TVst3SpeakerArrangement Arrangements[2] = {kFirstArrangement, kFirstArrangement};
};

// ---------------------------------------------------------------------------
// The controller: the parameters as the host shows them, mirroring the
// processor through the states the host hands over.

class CController {
public:
    void* Face(const char* iid) {
        if (kVst3UnknownIid.Is(iid) || kVst3PluginBaseIid.Is(iid) || kVst3EditControllerIid.Is(iid)) return &Controller;
        if (kVst3ConnectionPointIid.Is(iid)) return &Connection;
        return nullptr;
    }

    std::atomic<std::uint32_t> References{1};

private:
    static CController& Self(void* face) { return Of<CController>(face); }

    static TVst3Result VST3CALL SetComponentState(void* face, TVst3Stream* state) {
        return Answer(LoadState(Self(face).Model, state), Self(face).Reporter);
    }
    // The controller keeps nothing of its own.
    static TVst3Result VST3CALL SetState(void*, TVst3Stream*) { return kVst3ResultOk; }
    static TVst3Result VST3CALL GetState(void*, TVst3Stream*) { return kVst3ResultOk; }
    static std::int32_t VST3CALL GetParameterCount(void*) { return CPatcherPlugin::ParameterCount(); }
    static TVst3Result VST3CALL GetParameterInfo(void* face, std::int32_t index, TVst3ParameterInfo* info) {
        const TPatcherParameter* parameter = CPatcherPlugin::ParameterInfo(index);
        if (!parameter) {
            Self(face).Reporter.Mark(TPatcherMisbehaviour::OutOfRange);
            Self(face).Reporter.Flush(Tell);
        }
        if (!parameter || !info) return kVst3InvalidArgument;
        info->Id = static_cast<TVst3ParamId>(index);
        CopyText(info->Title, 128, parameter->Name);
        char shortTitle[32];
        std::snprintf(shortTitle, sizeof shortTitle, "Out %d src", index + 1);
        CopyText(info->ShortTitle, 128, shortTitle);
        CopyText(info->Units, 128, "");
        info->StepCount = vst3::kStepCount;
        info->DefaultNormalizedValue = vst3::NormalizedOf(parameter->Default);
        info->UnitId = 0;
        info->Flags = kVst3ParamCanAutomate | kVst3ParamIsList;
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL GetParamStringByValue(void*, TVst3ParamId id, TVst3ParamValue normalized,
                                                      TVst3String128 text) {
        double step;
        if (!KnownParam(id) || !text) return kVst3InvalidArgument;
        char ascii[128];
        if (!vst3::StepOf(normalized, step) ||
            !CPatcherPlugin::ValueText(static_cast<std::int32_t>(id), step, ascii, sizeof ascii))
            return kVst3ResultFalse;
        CopyText(text, 128, ascii);
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL GetParamValueByString(void*, TVst3ParamId id, TVst3Char16* text,
                                                      TVst3ParamValue* normalized) {
        if (!KnownParam(id) || !text || !normalized) return kVst3InvalidArgument;
        char ascii[CPatcherPlugin::kLongestText];
        std::size_t length;
        double plain;
        if (!patcher_kit::ReadText(text, ascii, sizeof ascii, length)) return kVst3ResultFalse;
        // A parameter of numbers would copy the text.
        try {
            if (!CPatcherPlugin::TextValue(static_cast<std::int32_t>(id), {ascii, length}, plain))
                return kVst3ResultFalse;
        } catch (...) {
            return kVst3ResultFalse;
        }
        *normalized = vst3::NormalizedOf(plain);
        return kVst3ResultOk;
    }
    static TVst3ParamValue VST3CALL NormalizedParamToPlain(void*, TVst3ParamId, TVst3ParamValue normalized) {
        double step;
        return vst3::StepOf(normalized, step) ? step : 0.0;
    }
    static TVst3ParamValue VST3CALL PlainParamToNormalized(void*, TVst3ParamId, TVst3ParamValue plain) {
        return vst3::NormalizedOf(plain);
    }
    static TVst3ParamValue VST3CALL GetParamNormalized(void* face, TVst3ParamId id) {
        if (!KnownParam(id)) return 0.0;
        return vst3::NormalizedOf(Self(face).Model.ParameterValue(static_cast<std::int32_t>(id)));
    }
    static TVst3Result VST3CALL SetParamNormalized(void* face, TVst3ParamId id, TVst3ParamValue value) {
        double step;
        if (!KnownParam(id)) return kVst3InvalidArgument;
        if (!vst3::StepOf(value, step)) return kVst3ResultFalse;
        Self(face).Model.SetParameterValue(static_cast<std::int32_t>(id), step);
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL SetComponentHandler(void*, TVst3Unknown*) { return kVst3ResultOk; }
    static void* VST3CALL CreateView(void*, const char*) { return nullptr; }

    static constexpr TVst3EditControllerVtbl kController = {
        QueryInterface<CController>, AddRef<CController>,    Release<CController>,  Initialize,
        Terminate,                   SetComponentState,      SetState,              GetState,
        GetParameterCount,           GetParameterInfo,       GetParamStringByValue, GetParamValueByString,
        NormalizedParamToPlain,      PlainParamToNormalized, GetParamNormalized,    SetParamNormalized,
        SetComponentHandler,         CreateView,
    };

    TFace<CController> Controller{&kController, this};
    TFace<CController> Connection{&kConnectionPoint<CController>, this};
    // The values as the routing would act on them, read and written from any thread.
    CPatcherPlugin Model;
    CPatcherReporter Reporter;
};

// ---------------------------------------------------------------------------
// The factory

constexpr std::int32_t kClassCount = 2;

struct TClass {
    TVst3Uid Cid;
    const char* Category;
    const char* SubCategories;
};

constexpr TClass kClasses[kClassCount] = {
    {kVst3ProcessorClass.Uid(), vst3::kProcessorCategory, vst3::kSubCategories},
    {kVst3ControllerClass.Uid(), vst3::kControllerCategory, ""},
};

std::atomic<std::uint32_t> FactoryReferences{0};

template <class Info>
bool ClassBasics(std::int32_t index, Info* info) {
    if (!info || index < 0 || index >= kClassCount) return false;
    std::memcpy(info->Cid, kClasses[index].Cid.Bytes, sizeof info->Cid);
    info->Cardinality = kVst3ManyInstances;
    CopyText(info->Category, sizeof info->Category, kClasses[index].Category);
    return true;
}

TVst3Result VST3CALL FactoryQueryInterface(void* self, const TVst3Tuid iid, void** object) {
    if (!object) return kVst3InvalidArgument;
    const bool known = kVst3UnknownIid.Is(iid) || kVst3PluginFactoryIid.Is(iid) || kVst3PluginFactory2Iid.Is(iid) ||
                       kVst3PluginFactory3Iid.Is(iid);
    *object = known ? self : nullptr;
    if (!known) return kVst3NoInterface;
    ++FactoryReferences;
    return kVst3ResultOk;
}

// The factory lives as long as the library: its count is kept, never acted on.
std::uint32_t VST3CALL FactoryAddRef(void*) { return ++FactoryReferences; }
std::uint32_t VST3CALL FactoryRelease(void*) { return --FactoryReferences; }

TVst3Result VST3CALL GetFactoryInfo(void*, TVst3FactoryInfo* info) {
    if (!info) return kVst3InvalidArgument;
    try {
        CopyText(info->Vendor, sizeof info->Vendor, CPatcherPlugin::Vendor());
    } catch (...) {
        return kVst3OutOfMemory;
    }
    CopyText(info->Url, sizeof info->Url, "");
    CopyText(info->Email, sizeof info->Email, "");
    info->Flags = kVst3FactoryUnicode;
    return kVst3ResultOk;
}

std::int32_t VST3CALL CountClasses(void*) { return kClassCount; }

// The effect's description is built on first use, which can run out of memory.
TVst3Result VST3CALL GetClassInfo(void*, std::int32_t index, TVst3ClassInfo* info) {
    if (!ClassBasics(index, info)) return kVst3InvalidArgument;
    try {
        CopyText(info->Name, sizeof info->Name, CPatcherPlugin::Name());
    } catch (...) {
        return kVst3OutOfMemory;
    }
    return kVst3ResultOk;
}

TVst3Result VST3CALL GetClassInfo2(void*, std::int32_t index, TVst3ClassInfo2* info) {
    if (!ClassBasics(index, info)) return kVst3InvalidArgument;
    try {
        CopyText(info->Name, sizeof info->Name, CPatcherPlugin::Name());
        CopyText(info->Vendor, sizeof info->Vendor, CPatcherPlugin::Vendor());
    } catch (...) {
        return kVst3OutOfMemory;
    }
    info->ClassFlags = kVst3Distributable;
    CopyText(info->SubCategories, sizeof info->SubCategories, kClasses[index].SubCategories);
    CopyText(info->Version, sizeof info->Version, CPatcherPlugin::Version());
    CopyText(info->SdkVersion, sizeof info->SdkVersion, vst3::kSdkVersion);
    return kVst3ResultOk;
}

TVst3Result VST3CALL GetClassInfoUnicode(void*, std::int32_t index, TVst3ClassInfoW* info) {
    if (!ClassBasics(index, info)) return kVst3InvalidArgument;
    try {
        CopyText(info->Name, 64, CPatcherPlugin::Name());
        CopyText(info->Vendor, 64, CPatcherPlugin::Vendor());
    } catch (...) {
        return kVst3OutOfMemory;
    }
    info->ClassFlags = kVst3Distributable;
    CopyText(info->SubCategories, sizeof info->SubCategories, kClasses[index].SubCategories);
    CopyText(info->Version, 64, CPatcherPlugin::Version());
    CopyText(info->SdkVersion, 64, vst3::kSdkVersion);
    return kVst3ResultOk;
}

TVst3Result VST3CALL CreateInstance(void*, const char* cid, const char* iid, void** object) {
    if (!object) return kVst3InvalidArgument;
    *object = nullptr;
    if (kClasses[0].Cid.Is(cid)) return Create<CProcessor>(iid, object);
    if (kClasses[1].Cid.Is(cid)) return Create<CController>(iid, object);
    return kVst3NoInterface;
}

TVst3Result VST3CALL SetHostContext(void*, TVst3Unknown*) { return kVst3ResultOk; }

constexpr TVst3PluginFactoryVtbl kFactoryTable = {
    FactoryQueryInterface, FactoryAddRef, FactoryRelease,      GetFactoryInfo, CountClasses,
    GetClassInfo,          CreateInstance, GetClassInfo2, GetClassInfoUnicode, SetHostContext,
};
TVst3PluginFactory Factory = {&kFactoryTable};

}  // namespace

bool vst3::StepOf(double normalized, double& step) {
    if (std::isnan(normalized)) return false;
    step = std::min<double>(kStepCount, std::floor((kStepCount + 1) * std::clamp(normalized, 0.0, 1.0)));
    return true;
}

double vst3::NormalizedOf(double step) {
    if (std::isnan(step)) return 0.0;
    return std::clamp(std::round(step), 0.0, static_cast<double>(kStepCount)) / kStepCount;
}

TVst3PluginFactory* Vst3Factory() {
    ++FactoryReferences;
    return &Factory;
}

const TPatcherTransport* PatcherTransport(const TVst3ProcessContext* context, TPatcherTransport& transport) {
    if (!context) return nullptr;
    static constexpr patcher_kit::TTransportFlags kFlags = {kVst3ContextTempoValid, kVst3ContextTimeSigValid,
                                                            kVst3ContextProjectTimeMusicValid, kVst3ContextPlaying,
                                                            kVst3ContextRecording};
    transport = patcher_kit::Transport(context->State, kFlags, context->Tempo, context->TimeSigNumerator,
                                       context->TimeSigDenominator, context->ProjectTimeMusic);
    return &transport;
}
