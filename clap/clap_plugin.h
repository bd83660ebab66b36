// One CLAP plug-in instance: the record and extensions a CLAP host calls,
// each translated into the patcher's neutral interface.
#pragma once

#include <atomic>
#include <cstdint>

#include "clap_abi.h"
#include "patcher_plugin.h"
#include "patcher_reporter.h"

// The transport of a process call as the patcher's block section takes it;
// null without one.
const TPatcherTransport* PatcherTransport(const TClapEventTransport* clap, TPatcherTransport& transport);

class CClapPlugin {
public:
    static constexpr const char* kId = "com.brindlefox.multichannel-patcher";

    static const TClapPluginDescriptor& Descriptor();
    // A new instance for `host`; null when there is no memory for one.
    static const TClapPlugin* Create(const TClapHost* host);

private:
    explicit CClapPlugin(const TClapHost* host);
    static CClapPlugin& Self(const TClapPlugin* plugin);

    static bool CLAPCALL Init(const TClapPlugin* plugin);
    static void CLAPCALL Destroy(const TClapPlugin* plugin);
    static bool CLAPCALL Activate(const TClapPlugin* plugin, double sampleRate, std::uint32_t minFrames,
                                  std::uint32_t maxFrames);
    static void CLAPCALL Deactivate(const TClapPlugin* plugin);
    static bool CLAPCALL StartProcessing(const TClapPlugin* plugin);
    static void CLAPCALL StopProcessing(const TClapPlugin* plugin);
    static void CLAPCALL Reset(const TClapPlugin* plugin);
    static std::int32_t CLAPCALL Process(const TClapPlugin* plugin, const TClapProcess* process);
    static const void* CLAPCALL GetExtension(const TClapPlugin* plugin, const char* id);
    static void CLAPCALL OnMainThread(const TClapPlugin* plugin);

    static std::uint32_t CLAPCALL PortCount(const TClapPlugin* plugin, bool isInput);
    static bool CLAPCALL PortInfo(const TClapPlugin* plugin, std::uint32_t index, bool isInput,
                                  TClapAudioPortInfo* info);

    static std::uint32_t CLAPCALL ParamCount(const TClapPlugin* plugin);
    static bool CLAPCALL ParamInfo(const TClapPlugin* plugin, std::uint32_t index, TClapParamInfo* info);
    static bool CLAPCALL ParamValue(const TClapPlugin* plugin, TClapId id, double* value);
    static bool CLAPCALL ValueToText(const TClapPlugin* plugin, TClapId id, double value, char* text,
                                     std::uint32_t capacity);
    static bool CLAPCALL TextToValue(const TClapPlugin* plugin, TClapId id, const char* text, double* value);
    static void CLAPCALL Flush(const TClapPlugin* plugin, const TClapInputEvents* in, const TClapOutputEvents* out);

    static bool CLAPCALL SaveState(const TClapPlugin* plugin, const TClapOStream* stream);
    static bool CLAPCALL LoadState(const TClapPlugin* plugin, const TClapIStream* stream);

    static std::uint32_t CLAPCALL Latency(const TClapPlugin* plugin);

    template <class Sample>
    std::int32_t Render(const TClapProcess& process);
    // Audio thread: a misbehaviour was met and answered; the host hears of
    // it once per activation, from the main thread.
    void Note(TPatcherMisbehaviour kind);
    // Main thread: tells the host's log of what was noted.
    void Report();
    void NoteStreamFailure(const char* what);

    // Main-thread host calls: made only where the host, if it can tell,
    // confirms the main thread.
    bool OnHostMainThread() const;
    void Log(std::int32_t severity, const char* message) const;

    TClapPlugin Record;
    const TClapHost* Host;
    const TClapHostLog* HostLog = nullptr;
    const TClapHostParams* HostParams = nullptr;
    const TClapHostLatency* HostLatency = nullptr;
    const TClapHostThreadCheck* HostThreadCheck = nullptr;

    CPatcherPlugin Patcher;
    // Set on the main thread, read by the audio thread's calls.
    std::atomic<bool> Active = false;
    CPatcherReporter Reporter;
    // What the last failing stream failed at; main thread.
    const char* StreamFailure = "";
    // The latency the host was last told of.
    std::int32_t AnnouncedLatency = 0;
};
