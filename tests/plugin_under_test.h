// Loads the built plug-in library and drives it only through its AEffect
// record, as a host does, with a host callback that records what it is asked.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "plugin_library.h"
#include "vst2.h"

// The library under test: $MULTICHANNEL_PATCHER if set, else the build's.
inline std::string PluginPath() {
    if (const char* path = std::getenv("MULTICHANNEL_PATCHER")) return path;
    return MULTICHANNEL_PATCHER_PATH;
}

// Loaded once per test program, like a host keeps a library loaded.
inline PluginLibrary& LoadedPlugin() {
    static std::unique_ptr<PluginLibrary> library = [] {
        std::string error;
        auto opened = PluginLibrary::Open(PluginPath(), error);
        if (!opened) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        return opened;
    }();
    return *library;
}

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// A host: answers the version query and the time query, and records every
// call. The callback finds the host of the calling thread, so tests on
// several threads each use their own.
class TestHost {
public:
    TestHost() : previous(current) { current = this; }
    ~TestHost() { current = previous; }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    VstIntPtr version = 2400;  // answer to audioMasterVersion; 0 refuses the plug-in
    bool giveTime = true;      // whether audioMasterGetTime answers a record
    bool record = true;
    VstTimeInfo time{};
    std::vector<HostCall> calls;

    std::vector<HostCall> CallsWith(VstInt32 opcode) const {
        std::vector<HostCall> found;
        for (const HostCall& call : calls)
            if (call.opcode == opcode) found.push_back(call);
        return found;
    }

    static VstIntPtr VSTCALLBACK Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt) {
        TestHost* host = current;
        if (!host) return 0;
        if (host->record) host->calls.push_back({effect, opcode, index, value, ptr, opt});
        switch (opcode) {
        case audioMasterVersion:
            return host->version;
        case audioMasterGetTime:
            return host->giveTime ? reinterpret_cast<VstIntPtr>(&host->time) : 0;
        default:
            return 0;
        }
    }

private:
    static inline thread_local TestHost* current = nullptr;
    TestHost* previous;
};

// One plug-in instance, created through an entry point and closed at the end.
class PluginInstance {
public:
    explicit PluginInstance(const char* entryName = "VSTPluginMain")
        : effect(LoadedPlugin().Entry(entryName)(TestHost::Callback)) {}
    ~PluginInstance() {
        if (effect) Dispatch(effClose);
    }
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        const VstIntPtr answer = effect->dispatcher(effect, opcode, index, value, ptr, opt);
        if (opcode == effClose) effect = nullptr;
        return answer;
    }

    // Open, set rate and block size, switch processing on: a host's usual start.
    void Start(float sampleRate = 48000.0f, VstInt32 blockSize = 512) {
        Dispatch(effOpen);
        Dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
        Dispatch(effSetBlockSize, 0, blockSize);
        Dispatch(effMainsChanged, 0, 1);
    }

    std::string Text(VstInt32 opcode, VstInt32 index = 0) {
        char buffer[256] = {};
        Dispatch(opcode, index, 0, buffer);
        return buffer;
    }

    void SetParameter(VstInt32 index, float value) { effect->setParameter(effect, index, value); }
    float GetParameter(VstInt32 index) { return effect->getParameter(effect, index); }

    std::vector<unsigned char> SaveState() {
        void* data = nullptr;
        const auto size = static_cast<std::size_t>(Dispatch(effGetChunk, 0, 0, &data));
        const auto* bytes = static_cast<const unsigned char*>(data);
        return size ? std::vector<unsigned char>(bytes, bytes + size) : std::vector<unsigned char>{};
    }
    VstIntPtr LoadState(std::vector<unsigned char> bytes) {
        return Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
    }

    AEffect* effect;
};

// Channel buffers for one process call: `channels` inputs and outputs.
template <class Sample>
struct AudioBuffers {
    AudioBuffers(int channels, int frames)
        : in(channels, std::vector<Sample>(frames)), out(channels, std::vector<Sample>(frames, Sample(-7))) {
        for (auto& c : in) inPtr.push_back(c.data());
        for (auto& c : out) outPtr.push_back(c.data());
    }
    void Process(AEffect* effect) {
        const auto frames = static_cast<VstInt32>(in.empty() ? 0 : in[0].size());
        if constexpr (sizeof(Sample) == sizeof(float))
            effect->processReplacing(effect, inPtr.data(), outPtr.data(), frames);
        else
            effect->processDoubleReplacing(effect, inPtr.data(), outPtr.data(), frames);
    }
    std::vector<std::vector<Sample>> in, out;
    std::vector<Sample*> inPtr, outPtr;
};
