#include "host_session.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host_error.h"

namespace {

constexpr VstInt32 kMaxChannels = 1024;
constexpr std::size_t kTextBuffer = 1024;
constexpr VstInt32 kProcessPrecision64 = 1;

std::string Hex(VstInt32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

void CopyAnswer(void* ptr, const char* text, std::size_t size) {
    if (!ptr) return;
    std::strncpy(static_cast<char*>(ptr), text, size - 1);
    static_cast<char*>(ptr)[size - 1] = 0;
}

std::atomic<int> callsIntoPlugins{0};
static_assert(std::atomic<int>::is_always_lock_free, "read in signal handlers");

constexpr VstInt32 kNoOpcode = -1;

HostError PluginThrew(const char* entry, VstInt32 opcode, const char* what) {
    std::string where = entry;
    if (opcode != kNoOpcode) where += " (opcode " + std::to_string(opcode) + ")";
    return HostError(ExitCode::PluginFailed,
                     "the plug-in threw an exception from " + where + (what ? std::string(": ") + what : ""));
}

// Runs one call into the plug-in. Its exceptions cross the C interface in
// practice (same runtime), and they are the plug-in's failure, not ours.
template <class Call>
auto IntoPlugin(const char* entry, VstInt32 opcode, Call call) {
    struct Inside {
        Inside() { ++callsIntoPlugins; }
        ~Inside() { --callsIntoPlugins; }
    } inside;
    try {
        return call();
    } catch (const std::exception& error) {
        throw PluginThrew(entry, opcode, error.what());
    } catch (...) {
        throw PluginThrew(entry, opcode, nullptr);
    }
}

}  // namespace

std::unique_ptr<HostSession> HostSession::Load(const std::string& path) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) throw HostError(ExitCode::File, path + ": no such file");
    if (std::filesystem::is_directory(path, ignored)) throw HostError(ExitCode::File, path + ": is a directory");
    std::string reason;
    auto library = PluginLibrary::Open(path, reason);
    if (!library) throw HostError(ExitCode::Plugin, path + " cannot be loaded: " + reason);
    const PluginEntryPoint entry = library->FindEntryPoint();
    if (!entry)
        throw HostError(ExitCode::Plugin,
                        path + " is not a VST 2 plug-in: it exports none of VSTPluginMain, main, MAIN");
    AEffect* effect = IntoPlugin("its entry point", kNoOpcode, [&] { return entry(Callback); });
    if (!effect) throw HostError(ExitCode::Plugin, path + " refused to start: its entry point returned no effect");
    // A record with a bad magic is not ours to close: only unloading is safe.
    if (effect->magic != kEffectMagic)
        throw HostError(ExitCode::Plugin, path + " is not a VST 2 plug-in: its effect has magic " +
                                              Hex(effect->magic) + " instead of 'VstP'");
    if (effect->numInputs < 0 || effect->numInputs > kMaxChannels || effect->numOutputs < 0 ||
        effect->numOutputs > kMaxChannels || effect->numParams < 0 || effect->numPrograms < 0)
        throw HostError(ExitCode::Plugin, path + " declares impossible channel, parameter or program counts");
    if (!effect->dispatcher || !effect->setParameter || !effect->getParameter)
        throw HostError(ExitCode::Plugin, path + " is not a VST 2 plug-in: its effect record lacks entries");
    std::unique_ptr<HostSession> session(new HostSession(std::move(library), effect));
    session->Dispatch(effOpen);
    session->Restart(kDefaultSampleRate, kDefaultBlockSize, false);
    return session;
}

HostSession::HostSession(std::unique_ptr<PluginLibrary> library, AEffect* effect)
    : library(std::move(library)), effect(effect) {
    // The record's field reserved for the host leads the callback back here.
    effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
    time.sampleRate = kDefaultSampleRate;
    time.tempo = kDefaultTempo;
    time.timeSigNumerator = 4;
    time.timeSigDenominator = 4;
}

HostSession::~HostSession() {
    // Whatever the plug-in throws on its way out changes nothing for the user.
    try {
        Suspend();
        Dispatch(effClose);
    } catch (const HostError&) {
    }
}

VstIntPtr HostSession::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const {
    return IntoPlugin("its dispatcher", opcode, [&] { return effect->dispatcher(effect, opcode, index, value, ptr, opt); });
}

void HostSession::SetParameter(VstInt32 index, float value) const {
    IntoPlugin("setParameter", kNoOpcode, [&] { effect->setParameter(effect, index, value); });
}

float HostSession::GetParameter(VstInt32 index) const {
    return IntoPlugin("getParameter", kNoOpcode, [&] { return effect->getParameter(effect, index); });
}

bool HostSession::InPlugin() { return callsIntoPlugins.load(std::memory_order_relaxed) > 0; }

std::string HostSession::Text(VstInt32 opcode, VstInt32 index) const {
    std::vector<char> buffer(kTextBuffer, 0);
    Dispatch(opcode, index, 0, buffer.data());
    buffer.back() = 0;
    return buffer.data();
}

VstInt32 HostSession::VendorVersion() const {
    const auto version = static_cast<VstInt32>(Dispatch(effGetVendorVersion));
    return version != 0 ? version : effect->version;
}

void HostSession::Resume() {
    if (running) return;
    Dispatch(effMainsChanged, 0, 1);
    Dispatch(effStartProcess);
    running = true;
}

void HostSession::Suspend() {
    if (!running) return;
    Dispatch(effStopProcess);
    Dispatch(effMainsChanged, 0, 0);
    running = false;
}

void HostSession::Restart(double sampleRate, VstInt32 blockSize, bool doublePrecision) {
    Suspend();
    this->blockSize = blockSize;
    time.sampleRate = sampleRate;
    Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    Dispatch(effSetBlockSize, 0, blockSize);
    Dispatch(effSetProcessPrecision, 0, doublePrecision ? kProcessPrecision64 : 0);
    time.samplePos = 0.0;
    time.flags = kVstTransportChanged;
    Resume();
}

void HostSession::SetTempo(double bpm) {
    time.tempo = bpm;
    time.flags |= kVstTransportChanged;
}

void HostSession::BeginBlock() {
    const double quarters = time.samplePos / time.sampleRate * time.tempo / 60.0;
    time.ppqPos = quarters;
    time.barStartPos = std::floor(quarters / 4.0) * 4.0;
    time.flags = (time.flags & kVstTransportChanged) | kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid |
                 kVstBarsValid | kVstTimeSigValid;
}

void HostSession::EndBlock(VstInt32 frames) {
    time.samplePos += frames;
    time.flags &= ~kVstTransportChanged;
}

void HostSession::Process(float** inputs, float** outputs, VstInt32 frames) {
    BeginBlock();
    IntoPlugin("its process call", kNoOpcode, [&] {
        if (HasFlag(effFlagsCanReplacing) && effect->processReplacing)
            effect->processReplacing(effect, inputs, outputs, frames);
        else
            effect->process(effect, inputs, outputs, frames);
    });
    EndBlock(frames);
}

void HostSession::Process(double** inputs, double** outputs, VstInt32 frames) {
    BeginBlock();
    IntoPlugin("its process call", kNoOpcode, [&] { effect->processDoubleReplacing(effect, inputs, outputs, frames); });
    EndBlock(frames);
}

std::vector<unsigned char> HostSession::GetChunk(bool program) const {
    void* data = nullptr;
    const VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return {bytes, bytes + size};
}

void HostSession::SetChunk(std::vector<unsigned char> chunk, bool program) const {
    Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(chunk.size()), chunk.data());
}

VstIntPtr VSTCALLBACK HostSession::Callback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr,
                                            float) {
    // Null while the entry point is still creating the effect.
    const auto* session = effect ? reinterpret_cast<const HostSession*>(effect->resvd1) : nullptr;
    switch (opcode) {
    case audioMasterVersion:
        return kHostVstVersion;
    case audioMasterGetTime:
        return session ? reinterpret_cast<VstIntPtr>(&session->time) : 0;
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(session ? session->time.sampleRate : kDefaultSampleRate);
    case audioMasterGetBlockSize:
        return session ? session->blockSize : kDefaultBlockSize;
    case audioMasterGetVendorString:
        CopyAnswer(ptr, "vsthost", kVstMaxVendorStrLen);
        return 1;
    case audioMasterGetProductString:
        CopyAnswer(ptr, "vsthost", kVstMaxProductStrLen);
        return 1;
    case audioMasterGetVendorVersion:
        return 1;
    case audioMasterCanDo:
        return ptr && std::strcmp(static_cast<const char*>(ptr), "sendVstTimeInfo") == 0 ? 1 : 0;
    default:
        return 0;
    }
}
