// A VST 2 effect loaded and started as a DAW does: entry point, open, sample
// rate and block size, resume; on destruction suspend, close and unload.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugin_library.h"
#include "vst2.h"

constexpr VstIntPtr kHostVstVersion = 2400;

class HostSession {
public:
    static constexpr double kDefaultSampleRate = 44100.0;
    static constexpr VstInt32 kDefaultBlockSize = 512;
    static constexpr double kDefaultTempo = 120.0;

    // Throws HostError when the library is missing, not loadable, or no VST 2 plug-in.
    static std::unique_ptr<HostSession> Load(const std::string& path);
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    AEffect* Effect() const { return effect; }
    const std::string& Path() const { return library->Path(); }
    // Every call into the plug-in goes through these or Process: an
    // exception the plug-in throws becomes HostError(PluginFailed).
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const;
    void SetParameter(VstInt32 index, float value) const;
    float GetParameter(VstInt32 index) const;
    // A text request with a buffer far larger than any limit plug-ins overrun.
    std::string Text(VstInt32 opcode, VstInt32 index = 0) const;

    VstInt32 UniqueId() const { return effect->uniqueID; }
    // effGetVendorVersion, or the record's version for plug-ins that answer 0.
    VstInt32 VendorVersion() const;
    bool HasFlag(VstInt32 flag) const { return (effect->flags & flag) != 0; }

    // Suspends, applies the settings and resumes; the transport starts again at 0.
    void Restart(double sampleRate, VstInt32 blockSize, bool doublePrecision);
    double SampleRate() const { return time.sampleRate; }
    VstInt32 BlockSize() const { return blockSize; }
    void SetTempo(double bpm);
    // What audioMasterGetTime answers during the next block.
    const VstTimeInfo& Time() const { return time; }

    // One block; `outputs` must be cleared for plug-ins that only accumulate.
    void Process(float** inputs, float** outputs, VstInt32 frames);
    void Process(double** inputs, double** outputs, VstInt32 frames);

    // The plug-in's state chunk (program or bank); empty when it keeps none.
    std::vector<unsigned char> GetChunk(bool program) const;
    void SetChunk(std::vector<unsigned char> chunk, bool program) const;

    // Whether some thread is inside a call into a plug-in; safe in a signal handler.
    static bool InPlugin();

private:
    HostSession(std::unique_ptr<PluginLibrary> library, AEffect* effect);
    static VstIntPtr VSTCALLBACK Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);
    void Resume();
    void Suspend();
    void BeginBlock();
    void EndBlock(VstInt32 frames);

    std::unique_ptr<PluginLibrary> library;  // outlives the effect, declared first
    AEffect* effect;
    VstInt32 blockSize = kDefaultBlockSize;
    bool running = false;
    VstTimeInfo time{};
};
