// A VST 3 host for the tests, the fuzz target and the benchmark: loads the
// built module through its exports and drives the plug-in's two classes
// only as a host does, with streams and parameter changes of its own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "byte_stream.h"
#include "host_channels.h"
#include "plugin_library.h"
#include "vst3_abi.h"
#include "vst3_ids.h"

constexpr int kVst3Channels = 16;

// The module under test: $VST3_PLUGIN_PATH if set, else the build's.
inline std::string Vst3PluginPath() {
    if (const char* path = std::getenv("VST3_PLUGIN_PATH")) return path;
    return MULTICHANNEL_PATCHER_VST3_PATH;
}

// Loaded and entered once per program, as a host keeps a module; the
// factory is released and the module left at the end.
class Vst3Module {
public:
    static Vst3Module& Loaded() {
        static Vst3Module module;
        return module;
    }

    TVst3PluginFactory* Factory() const { return factory; }
    const PluginLibrary& Library() const { return *library; }

private:
#if defined(_WIN32)
    using Enter = bool (*)();
    static constexpr const char* kEnter = "InitDll";
    static constexpr const char* kExit = "ExitDll";
#else
    using Enter = bool (*)(void*);
    static constexpr const char* kEnter = "ModuleEntry";
    static constexpr const char* kExit = "ModuleExit";
#endif
    using Exit = bool (*)();

    Vst3Module() {
        std::string error;
        const std::string path = Vst3PluginPath();
        library = PluginLibrary::Open(path, error);
        auto enter = library ? reinterpret_cast<Enter>(library->Symbol(kEnter)) : nullptr;
        auto get = library ? reinterpret_cast<TVst3GetPluginFactory>(library->Symbol("GetPluginFactory")) : nullptr;
#if defined(_WIN32)
        const bool entered = enter && enter();
#else
        const bool entered = enter && enter(nullptr);
#endif
        factory = entered && get ? get() : nullptr;
        if (!factory) {
            std::fprintf(stderr, "cannot use %s as a VST 3 module %s\n", path.c_str(), error.c_str());
            std::abort();
        }
    }
    ~Vst3Module() {
        factory->Vtbl->Release(factory);
        if (auto exit = reinterpret_cast<Exit>(library->Symbol(kExit))) exit();
    }

    std::unique_ptr<PluginLibrary> library;
    TVst3PluginFactory* factory = nullptr;
};

// An interface the host implements: its table, then the object behind it.
template <class Table, class Owner>
struct Vst3HostFace {
    const Table* Vtbl;
    Owner* Self;
    static Owner& Of(void* face) { return *static_cast<Vst3HostFace*>(face)->Self; }
};

// Host objects live as long as the test that made them: counting is not theirs.
inline TVst3Result VST3CALL Vst3HostQuery(void*, const TVst3Tuid, void** object) {
    if (object) *object = nullptr;
    return kVst3NoInterface;
}
inline std::uint32_t VST3CALL Vst3HostCount(void*) { return 1; }

// The shared byte stream as VST 3's stream interface. With
// `failShortReads`, a read that delivers less than asked says how much yet
// reports failure, as file streams do at their end.
class Vst3Stream : public ByteStream {
public:
    bool failShortReads = false;
    int calls = 0;

    Vst3Stream() = default;
    Vst3Stream(std::vector<std::uint8_t> bytes, std::int32_t step, std::size_t failAt)
        : ByteStream{std::move(bytes), 0, static_cast<std::uint64_t>(step), failAt} {}
    Vst3Stream(const Vst3Stream&) = delete;
    Vst3Stream& operator=(const Vst3Stream&) = delete;

    TVst3Stream* Interface() { return reinterpret_cast<TVst3Stream*>(&face); }

private:
    static TVst3Result VST3CALL Read(void* face, void* buffer, std::int32_t size, std::int32_t* read) {
        Vst3Stream& self = Face::Of(face);
        const std::int64_t n = self.Moved(size, read, [&] { return self.ByteStream::Read(buffer, std::uint64_t(size)); });
        return n < 0 || (self.failShortReads && n < size) ? kVst3ResultFalse : kVst3ResultOk;
    }
    static TVst3Result VST3CALL Write(void* face, void* buffer, std::int32_t size, std::int32_t* written) {
        Vst3Stream& self = Face::Of(face);
        const std::int64_t n =
            self.Moved(size, written, [&] { return self.ByteStream::Write(buffer, std::uint64_t(size)); });
        return n < 0 ? kVst3ResultFalse : kVst3ResultOk;
    }
    // Counts the call, refuses a negative size, and says how many bytes moved.
    template <class Move>
    std::int64_t Moved(std::int32_t size, std::int32_t* moved, Move move) {
        calls++;
        const std::int64_t n = size < 0 ? -1 : move();
        if (n >= 0 && moved) *moved = static_cast<std::int32_t>(n);
        return n;
    }
    static TVst3Result VST3CALL Seek(void* face, std::int64_t position, std::int32_t mode, std::int64_t* result) {
        Vst3Stream& self = Face::Of(face);
        const std::int64_t base = mode == kVst3SeekCur   ? static_cast<std::int64_t>(self.position)
                                  : mode == kVst3SeekEnd ? static_cast<std::int64_t>(self.bytes.size())
                                                         : 0;
        if (base + position < 0) return kVst3InvalidArgument;
        self.position = static_cast<std::size_t>(base + position);
        if (result) *result = base + position;
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL Tell(void* face, std::int64_t* position) {
        if (!position) return kVst3InvalidArgument;
        *position = static_cast<std::int64_t>(Face::Of(face).position);
        return kVst3ResultOk;
    }

    using Face = Vst3HostFace<TVst3StreamVtbl, Vst3Stream>;
    static constexpr TVst3StreamVtbl kTable = {Vst3HostQuery, Vst3HostCount, Vst3HostCount, Read, Write, Seek, Tell};
    Face face{&kTable, this};
};

// The parameter changes of one process call: queues in the order added,
// each with its points in the order added.
class Vst3Changes {
public:
    Vst3Changes() = default;
    Vst3Changes(const Vst3Changes&) = delete;
    Vst3Changes& operator=(const Vst3Changes&) = delete;

    // A point on the last queue if it is for `id`, else on a new queue.
    Vst3Changes& Add(TVst3ParamId id, std::int32_t offset, double value) {
        if (queues.empty() || queues.back()->id != id) NewQueue(id);
        queues.back()->points.push_back({offset, value});
        return *this;
    }
    // A new queue for `id`, even if the last one is for it too.
    Vst3Changes& NewQueue(TVst3ParamId id) {
        queues.push_back(std::make_unique<Queue>());
        queues.back()->id = id;
        queues.back()->face.Self = queues.back().get();
        return *this;
    }
    void Clear() { queues.clear(); }
    std::size_t Count() const { return queues.size(); }

    TVst3ParameterChanges* Interface() { return reinterpret_cast<TVst3ParameterChanges*>(&face); }

private:
    struct Point {
        std::int32_t offset;
        double value;
    };
    struct Queue {
        using Face = Vst3HostFace<TVst3ParamValueQueueVtbl, Queue>;
        Face face{&kQueueTable, nullptr};
        TVst3ParamId id = 0;
        std::vector<Point> points;
    };

    static TVst3ParamId VST3CALL ParameterId(void* face) { return Queue::Face::Of(face).id; }
    static std::int32_t VST3CALL PointCount(void* face) {
        return static_cast<std::int32_t>(Queue::Face::Of(face).points.size());
    }
    static TVst3Result VST3CALL GetPoint(void* face, std::int32_t index, std::int32_t* offset, double* value) {
        const Queue& queue = Queue::Face::Of(face);
        if (index < 0 || static_cast<std::size_t>(index) >= queue.points.size() || !offset || !value)
            return kVst3InvalidArgument;
        *offset = queue.points[index].offset;
        *value = queue.points[index].value;
        return kVst3ResultOk;
    }
    static TVst3Result VST3CALL AddPoint(void*, std::int32_t, double, std::int32_t*) { return kVst3ResultFalse; }

    static std::int32_t VST3CALL QueueCount(void* face) {
        return static_cast<std::int32_t>(Face::Of(face).queues.size());
    }
    static TVst3ParamValueQueue* VST3CALL QueueAt(void* face, std::int32_t index) {
        const auto& queues = Face::Of(face).queues;
        if (index < 0 || static_cast<std::size_t>(index) >= queues.size()) return nullptr;
        return reinterpret_cast<TVst3ParamValueQueue*>(&queues[index]->face);
    }
    static TVst3ParamValueQueue* VST3CALL AddQueue(void*, const TVst3ParamId*, std::int32_t*) { return nullptr; }

    static constexpr TVst3ParamValueQueueVtbl kQueueTable = {Vst3HostQuery, Vst3HostCount, Vst3HostCount,
                                                             ParameterId,   PointCount,    GetPoint,
                                                             AddPoint};
    using Face = Vst3HostFace<TVst3ParameterChangesVtbl, Vst3Changes>;
    static constexpr TVst3ParameterChangesVtbl kTable = {Vst3HostQuery, Vst3HostCount, Vst3HostCount,
                                                         QueueCount,    QueueAt,       AddQueue};
    std::vector<std::unique_ptr<Queue>> queues;
    Face face{&kTable, this};
};

// The channels of one process call. Outputs are separate, or the inputs
// themselves (in place).
template <class Sample>
class Vst3Audio : public HostChannels<Sample> {
public:
    Vst3Audio(int frames, bool inPlace = false) : HostChannels<Sample>(frames) {
        const auto size = static_cast<std::size_t>(frames + 1) * kVst3Channels;
        inputs.assign(size, Sample(-7));
        outputs.assign(size, Sample(-7));
        for (int c = 0; c < kVst3Channels; ++c) {
            this->in[c] = inputs.data() + static_cast<std::ptrdiff_t>(c) * (frames + 1);
            this->out[c] = inPlace ? this->in[c] : outputs.data() + static_cast<std::ptrdiff_t>(c) * (frames + 1);
        }
        inputBus.NumChannels = outputBus.NumChannels = kVst3Channels;
        if constexpr (sizeof(Sample) == sizeof(float)) {
            inputBus.Buffers32 = this->in;
            outputBus.Buffers32 = this->out;
        } else {
            inputBus.Buffers64 = this->in;
            outputBus.Buffers64 = this->out;
        }
    }

    template <class Inputs>
    void Fill(Inputs fill) {
        this->FillChannels(fill);
        outputBus.SilenceFlags = 0;
    }

    TVst3AudioBusBuffers inputBus{}, outputBus{};

private:
    std::vector<Sample> inputs, outputs;
};

// One plug-in as a host holds it: the processor's component and audio
// processor, and the controller the component names, each initialised,
// terminated and released at the end.
class Vst3Instance {
public:
    Vst3Instance() {
        TVst3PluginFactory* factory = Vst3Module::Loaded().Factory();
        const TVst3Uid processorClass = kVst3ProcessorClass.Uid();
        void* object = nullptr;
        if (factory->Vtbl->CreateInstance(factory, processorClass.Bytes, kVst3ComponentIid.Bytes, &object) !=
                kVst3ResultOk ||
            !object)
            Fail("the factory made no component");
        component = static_cast<TVst3Component*>(object);
        component->Vtbl->Initialize(component, nullptr);
        if (component->Vtbl->QueryInterface(component, kVst3AudioProcessorIid.Bytes, &object) != kVst3ResultOk)
            Fail("the component is no audio processor");
        processor = static_cast<TVst3AudioProcessor*>(object);
        TVst3Tuid controllerClass;
        if (component->Vtbl->GetControllerClassId(component, controllerClass) != kVst3ResultOk ||
            factory->Vtbl->CreateInstance(factory, controllerClass, kVst3EditControllerIid.Bytes, &object) !=
                kVst3ResultOk)
            Fail("the factory made no controller");
        controller = static_cast<TVst3EditController*>(object);
        controller->Vtbl->Initialize(controller, nullptr);
    }
    ~Vst3Instance() {
        if (active) Stop();
        controller->Vtbl->Terminate(controller);
        controller->Vtbl->Release(controller);
        processor->Vtbl->Release(processor);
        component->Vtbl->Terminate(component);
        component->Vtbl->Release(component);
    }
    Vst3Instance(const Vst3Instance&) = delete;
    Vst3Instance& operator=(const Vst3Instance&) = delete;

    // Set up, activated and processing, as a host starts a plug-in.
    void Start(std::int32_t maxFrames = 4096, std::int32_t sampleSize = kVst3Sample32) {
        TVst3ProcessSetup setup{kVst3Realtime, sampleSize, maxFrames, 48000.0};
        processor->Vtbl->SetupProcessing(processor, &setup);
        component->Vtbl->SetActive(component, 1);
        processor->Vtbl->SetProcessing(processor, 1);
        active = true;
    }
    void Stop() {
        processor->Vtbl->SetProcessing(processor, 0);
        component->Vtbl->SetActive(component, 0);
        active = false;
    }

    template <class Sample>
    TVst3Result Process(Vst3Audio<Sample>& audio, Vst3Changes* changes = nullptr,
                        TVst3ProcessContext* context = nullptr) {
        return ProcessBuses<Sample>(&audio.inputBus, 1, &audio.outputBus, 1, audio.frames, changes, context);
    }
    // Any buses each way, as a host may pass them.
    template <class Sample>
    TVst3Result ProcessBuses(TVst3AudioBusBuffers* inputs, std::int32_t inputCount, TVst3AudioBusBuffers* outputs,
                             std::int32_t outputCount, std::int32_t frames, Vst3Changes* changes = nullptr,
                             TVst3ProcessContext* context = nullptr) {
        data.ProcessMode = kVst3Realtime;
        data.SymbolicSampleSize = sizeof(Sample) == sizeof(float) ? kVst3Sample32 : kVst3Sample64;
        data.NumSamples = frames;
        data.NumInputs = inputCount;
        data.NumOutputs = outputCount;
        data.Inputs = inputs;
        data.Outputs = outputs;
        data.InputParameterChanges = changes ? changes->Interface() : nullptr;
        data.ProcessContext = context;
        return processor->Vtbl->Process(processor, &data);
    }

    // Both routes through a call of no frames, as hosts send changes
    // outside playback; steps 0 to 16.
    void Route(int step1, int step2) {
        Vst3Changes changes;
        changes.Add(0, 0, step1 / 16.0).Add(1, 0, step2 / 16.0);
        ProcessBuses<float>(nullptr, 0, nullptr, 0, 0, &changes);
    }

    std::vector<std::uint8_t> Save(std::int32_t step = std::numeric_limits<std::int32_t>::max()) {
        Vst3Stream stream;
        stream.step = step;
        return component->Vtbl->GetState(component, stream.Interface()) == kVst3ResultOk
                   ? stream.bytes
                   : std::vector<std::uint8_t>{};
    }
    TVst3Result Load(const std::vector<std::uint8_t>& bytes,
                     std::int32_t step = std::numeric_limits<std::int32_t>::max(),
                     std::size_t failAt = std::numeric_limits<std::size_t>::max()) {
        Vst3Stream stream(bytes, step, failAt);
        return component->Vtbl->SetState(component, stream.Interface());
    }
    // A state load as hosts make it: into the component, then the same
    // bytes into the controller.
    TVst3Result LoadBoth(const std::vector<std::uint8_t>& bytes,
                         std::int32_t step = std::numeric_limits<std::int32_t>::max()) {
        const TVst3Result result = Load(bytes, step);
        Vst3Stream stream(bytes, step, std::numeric_limits<std::size_t>::max());
        controller->Vtbl->SetComponentState(controller, stream.Interface());
        return result;
    }
    double Normalized(TVst3ParamId id) { return controller->Vtbl->GetParamNormalized(controller, id); }

    TVst3Component* component = nullptr;
    TVst3AudioProcessor* processor = nullptr;
    TVst3EditController* controller = nullptr;
    TVst3ProcessData data{};
    bool active = false;

private:
    [[noreturn]] static void Fail(const char* what) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
};
