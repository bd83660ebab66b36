#include "fx_preset.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>

#include "host_error.h"
#include "pending_file.h"

namespace {

constexpr VstInt32 FourChars(const char (&text)[5]) {
    return static_cast<VstInt32>(static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])));
}

constexpr VstInt32 kChunkMagic = FourChars("CcnK");
constexpr VstInt32 kProgramParams = FourChars("FxCk");
constexpr VstInt32 kProgramChunk = FourChars("FPCh");
constexpr VstInt32 kBankParams = FourChars("FxBk");
constexpr VstInt32 kBankChunk = FourChars("FBCh");
constexpr std::size_t kBankFutureSize = 124;

class Writer {
public:
    void Int(VstInt32 value) {
        const auto u = static_cast<std::uint32_t>(value);
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<unsigned char>(u >> shift));
    }
    void Float(float value) { Int(std::bit_cast<VstInt32>(value)); }
    void Zeros(std::size_t count) { bytes.insert(bytes.end(), count, 0); }
    void Name(const std::string& name) {
        const std::size_t n = std::min(name.size(), kFxProgramNameSize - 1);
        bytes.insert(bytes.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
        Zeros(kFxProgramNameSize - n);
    }
    void Bytes(const std::vector<unsigned char>& data) { bytes.insert(bytes.end(), data.begin(), data.end()); }
    // The byte size counts everything after itself.
    void PatchSize(std::size_t start) {
        const auto size = static_cast<std::uint32_t>(bytes.size() - start - 8);
        for (int i = 0; i < 4; ++i) bytes[start + 4 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(size >> (24 - 8 * i));
    }
    std::vector<unsigned char> bytes;
};

class Reader {
public:
    explicit Reader(std::span<const unsigned char> bytes) : bytes(bytes) {}

    VstInt32 Int(const char* what) {
        Need(4, what);
        std::uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u = u << 8 | bytes[at++];
        return static_cast<VstInt32>(u);
    }
    float Float(const char* what) { return std::bit_cast<float>(Int(what)); }
    std::string Name() {
        Need(kFxProgramNameSize, "the program name");
        const auto* text = reinterpret_cast<const char*>(bytes.data() + at);
        at += kFxProgramNameSize;
        return std::string(text, strnlen(text, kFxProgramNameSize));
    }
    void Skip(std::size_t count, const char* what) {
        Need(count, what);
        at += count;
    }
    // A length field, checked against what is left of the file.
    std::size_t Count(const char* what, std::size_t unit) {
        const VstInt32 count = Int(what);
        if (count < 0) throw Corrupt(std::string(what) + " is negative (" + std::to_string(count) + ")");
        if (static_cast<std::size_t>(count) > Left() / unit)
            throw Corrupt(std::string(what) + " is " + std::to_string(count) + " but only " + std::to_string(Left()) +
                          " bytes follow");
        return static_cast<std::size_t>(count);
    }
    std::vector<unsigned char> Bytes(std::size_t count) {
        std::vector<unsigned char> data(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                        bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
        at += count;
        return data;
    }
    std::size_t Left() const { return bytes.size() - at; }

    static HostError Corrupt(const std::string& why) { return HostError(ExitCode::Preset, "corrupt preset: " + why); }

private:
    void Need(std::size_t count, const char* what) {
        if (count > Left())
            throw HostError(ExitCode::Preset, "truncated preset: the file ends inside " + std::string(what) + " (" +
                                                  std::to_string(bytes.size()) + " bytes)");
    }

    std::span<const unsigned char> bytes;
    std::size_t at = 0;
};

void WriteProgram(Writer& out, const FxPreset& preset) {
    const std::size_t start = out.bytes.size();
    out.Int(kChunkMagic);
    out.Int(0);
    out.Int(preset.opaque ? kProgramChunk : kProgramParams);
    out.Int(preset.formatVersion);
    out.Int(preset.fxId);
    out.Int(preset.fxVersion);
    out.Int(preset.opaque ? preset.numParams : static_cast<VstInt32>(preset.params.size()));
    out.Name(preset.name);
    if (preset.opaque) {
        out.Int(static_cast<VstInt32>(preset.chunk.size()));
        out.Bytes(preset.chunk);
    } else {
        for (float value : preset.params) out.Float(value);
    }
    out.PatchSize(start);
}

void WriteBank(Writer& out, const FxPreset& preset) {
    out.Int(kChunkMagic);
    out.Int(0);
    out.Int(preset.opaque ? kBankChunk : kBankParams);
    out.Int(preset.formatVersion);
    out.Int(preset.fxId);
    out.Int(preset.fxVersion);
    out.Int(preset.opaque ? 1 : static_cast<VstInt32>(preset.programs.size()));
    out.Int(preset.currentProgram);
    out.Zeros(kBankFutureSize);
    if (preset.opaque) {
        out.Int(static_cast<VstInt32>(preset.chunk.size()));
        out.Bytes(preset.chunk);
    } else {
        for (const FxPreset& program : preset.programs) WriteProgram(out, program);
    }
    out.PatchSize(0);
}

FxPreset ReadProgram(Reader& in) {
    if (in.Int("the file magic") != kChunkMagic) throw Reader::Corrupt("a program does not start with 'CcnK'");
    in.Int("the byte size");
    FxPreset preset;
    const VstInt32 kind = in.Int("the preset type");
    if (kind != kProgramChunk && kind != kProgramParams)
        throw Reader::Corrupt("expected a program ('FxCk' or 'FPCh'), found " + FormatFxId(kind));
    preset.opaque = kind == kProgramChunk;
    preset.formatVersion = in.Int("the format version");
    preset.fxId = in.Int("the plug-in ID");
    preset.fxVersion = in.Int("the plug-in version");
    if (preset.opaque) {
        preset.numParams = in.Int("the parameter count");
        preset.name = in.Name();
        preset.chunk = in.Bytes(in.Count("the chunk size", 1));
    } else {
        const std::size_t count = in.Count("the parameter count", 4);
        preset.numParams = static_cast<VstInt32>(count);
        preset.name = in.Name();
        for (std::size_t i = 0; i < count; ++i) preset.params.push_back(in.Float("the parameters"));
    }
    return preset;
}

FxPreset ReadBank(Reader& in, VstInt32 kind) {
    FxPreset preset;
    preset.bank = true;
    preset.opaque = kind == kBankChunk;
    preset.formatVersion = in.Int("the format version");
    preset.fxId = in.Int("the plug-in ID");
    preset.fxVersion = in.Int("the plug-in version");
    const VstInt32 numPrograms = in.Int("the program count");
    if (numPrograms < 0) throw Reader::Corrupt("the program count is negative (" + std::to_string(numPrograms) + ")");
    preset.currentProgram = in.Int("the current program");
    // Format version 1 keeps the current program's place as reserved space.
    if (preset.formatVersion < 2) preset.currentProgram = 0;
    in.Skip(kBankFutureSize, "the reserved header space");
    if (preset.opaque) {
        preset.chunk = in.Bytes(in.Count("the chunk size", 1));
        return preset;
    }
    if (static_cast<std::size_t>(numPrograms) > in.Left() / kFxProgramHeaderSize)
        throw Reader::Corrupt("the program count is " + std::to_string(numPrograms) + " but only " +
                              std::to_string(in.Left()) + " bytes follow");
    for (VstInt32 i = 0; i < numPrograms; ++i) preset.programs.push_back(ReadProgram(in));
    if (preset.currentProgram < 0 || (numPrograms > 0 && preset.currentProgram >= numPrograms))
        throw Reader::Corrupt("the current program " + std::to_string(preset.currentProgram) +
                              " is not one of its " + std::to_string(numPrograms));
    return preset;
}

void SetProgramName(const HostSession& session, std::string name) {
    session.Dispatch(effSetProgramName, 0, 0, name.data());
}

}  // namespace

std::string FormatFxId(VstInt32 id) {
    const auto u = static_cast<std::uint32_t>(id);
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>(u >> shift);
        if (!std::isprint(c)) return std::to_string(id);
        text += static_cast<char>(c);
    }
    return "'" + text + "'";
}

std::vector<unsigned char> WritePreset(const FxPreset& preset) {
    Writer out;
    if (preset.bank)
        WriteBank(out, preset);
    else
        WriteProgram(out, preset);
    return out.bytes;
}

FxPreset ReadPreset(std::span<const unsigned char> bytes) {
    Reader in(bytes);
    if (bytes.size() >= 4 && in.Int("the file magic") != kChunkMagic)
        throw HostError(ExitCode::Preset, "not a VST 2 preset: it does not start with 'CcnK'");
    if (bytes.size() < 12) throw HostError(ExitCode::Preset, "truncated preset: " + std::to_string(bytes.size()) + " bytes");
    in.Int("the byte size");
    const VstInt32 kind = in.Int("the preset type");
    if (kind == kBankChunk || kind == kBankParams) return ReadBank(in, kind);
    if (kind != kProgramChunk && kind != kProgramParams)
        throw Reader::Corrupt("unknown preset type " + FormatFxId(kind));
    Reader again(bytes);
    return ReadProgram(again);
}

FxPreset ReadPresetFile(const std::string& path) {
    const std::vector<unsigned char> bytes = ReadWholeFile(path, kFxLargestPreset + 1);
    if (bytes.size() > kFxLargestPreset)
        throw HostError(ExitCode::Preset, path + ": not a VST 2 preset: it is larger than any preset can be");
    try {
        return ReadPreset(bytes);
    } catch (const HostError& error) {
        throw HostError(error.Code(), path + ": " + error.what());
    }
}

void WritePresetFile(const std::string& path, const FxPreset& preset) { WriteWholeFile(path, WritePreset(preset)); }

FxPreset CapturePreset(const HostSession& session, bool bank) {
    AEffect* effect = session.Effect();
    FxPreset preset;
    preset.bank = bank;
    preset.opaque = session.HasFlag(effFlagsProgramChunks);
    preset.formatVersion = bank ? 2 : 1;
    preset.fxId = effect->uniqueID;
    preset.fxVersion = session.VendorVersion();
    preset.numParams = effect->numParams;
    const auto current = static_cast<VstInt32>(session.Dispatch(effGetProgram));
    if (preset.opaque) {
        preset.chunk = session.GetChunk(!bank);
        if (!bank) preset.name = session.Text(effGetProgramName);
        preset.currentProgram = current;
        return preset;
    }
    auto programValues = [&] {
        FxPreset program;
        program.opaque = false;
        program.fxId = preset.fxId;
        program.fxVersion = preset.fxVersion;
        program.numParams = effect->numParams;
        program.name = session.Text(effGetProgramName);
        for (VstInt32 i = 0; i < effect->numParams; ++i)
            program.params.push_back(session.GetParameter(i));
        return program;
    };
    if (!bank) {
        FxPreset program = programValues();
        program.formatVersion = 1;
        return program;
    }
    for (VstInt32 p = 0; p < effect->numPrograms; ++p) {
        session.Dispatch(effSetProgram, 0, p);
        preset.programs.push_back(programValues());
    }
    session.Dispatch(effSetProgram, 0, current);
    preset.currentProgram = current;
    return preset;
}

void ApplyPreset(const HostSession& session, const FxPreset& preset, const std::string& source) {
    AEffect* effect = session.Effect();
    if (preset.fxId != effect->uniqueID)
        throw HostError(ExitCode::Preset, source + " is a preset for another plug-in: its ID is " +
                                              FormatFxId(preset.fxId) + ", this plug-in's is " +
                                              FormatFxId(effect->uniqueID));
    if (preset.opaque) {
        if (!session.HasFlag(effFlagsProgramChunks))
            throw HostError(ExitCode::Preset, source + " holds a state chunk, but this plug-in takes parameter values only");
        session.SetChunk(preset.chunk, !preset.bank);
        if (!preset.bank) SetProgramName(session, preset.name);
        return;
    }
    const std::vector<FxPreset> single{preset};
    const std::vector<FxPreset>& programs = preset.bank ? preset.programs : single;
    if (programs.size() > static_cast<std::size_t>(std::max(effect->numPrograms, 1)))
        throw HostError(ExitCode::Preset, source + " holds " + std::to_string(programs.size()) +
                                              " programs, this plug-in only " + std::to_string(effect->numPrograms));
    // Checked whole before anything is applied, so a refused preset changes nothing.
    for (const FxPreset& program : programs) {
        if (program.fxId != effect->uniqueID)
            throw HostError(ExitCode::Preset, source + " is a preset for another plug-in: a program has ID " +
                                                  FormatFxId(program.fxId));
        if (program.params.size() > static_cast<std::size_t>(effect->numParams))
            throw HostError(ExitCode::Preset, source + " has " + std::to_string(program.params.size()) +
                                                  " parameter values, this plug-in only " +
                                                  std::to_string(effect->numParams) + " parameters");
    }
    for (std::size_t p = 0; p < programs.size(); ++p) {
        if (preset.bank) session.Dispatch(effSetProgram, 0, static_cast<VstIntPtr>(p));
        session.Dispatch(effBeginSetProgram);
        for (std::size_t i = 0; i < programs[p].params.size(); ++i)
            session.SetParameter(static_cast<VstInt32>(i), programs[p].params[i]);
        SetProgramName(session, programs[p].name);
        session.Dispatch(effEndSetProgram);
    }
    if (preset.bank) session.Dispatch(effSetProgram, 0, preset.currentProgram);
}
