#include "audio_files.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>

#include "audio_header.h"
#include "block_renderer.h"
#include "host_error.h"
#include "pending_file.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

struct SampleFormat {
    const char* name;
    int subtype;
};
constexpr SampleFormat kSampleFormats[] = {
    {"float", SF_FORMAT_FLOAT}, {"double", SF_FORMAT_DOUBLE}, {"pcm16", SF_FORMAT_PCM_16},
    {"pcm24", SF_FORMAT_PCM_24}, {"pcm32", SF_FORMAT_PCM_32},
};

struct Container {
    const char* extension;
    int major;
};
constexpr Container kContainers[] = {
    {".wav", SF_FORMAT_WAV},   {".w64", SF_FORMAT_W64}, {".rf64", SF_FORMAT_RF64}, {".flac", SF_FORMAT_FLAC},
    {".aiff", SF_FORMAT_AIFF}, {".aif", SF_FORMAT_AIFF}, {".caf", SF_FORMAT_CAF},  {".au", SF_FORMAT_AU},
};

struct CloseSoundFile {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, CloseSoundFile>;

std::string Seconds(sf_count_t frames, int sampleRate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(frames) / sampleRate);
    return text;
}

// libsndfile reads the part present as the whole file.
void CheckWhole(const std::string& path, const DeclaredAudio& declared, const SF_INFO& info) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || !declared.dataStart || !declared.dataEnd || *declared.dataEnd <= size || *declared.dataStart >= size)
        return;
    const std::uint64_t promised = *declared.dataEnd - *declared.dataStart, present = size - *declared.dataStart;
    if (info.frames <= 0 || present < static_cast<std::uint64_t>(info.frames))
        throw HostError(ExitCode::File, path + " is truncated: its header declares " + std::to_string(promised) +
                                            " bytes of audio, the file holds " + std::to_string(present));
    const std::uint64_t frameBytes = present / static_cast<std::uint64_t>(info.frames);
    const auto frames = static_cast<sf_count_t>(promised / frameBytes);
    throw HostError(ExitCode::File, path + " is truncated: its last " + std::to_string(frames - info.frames) +
                                        " frames (" + Seconds(frames - info.frames, info.samplerate) +
                                        ") are missing: the header declares " + std::to_string(frames) +
                                        ", the file holds " + std::to_string(info.frames));
}

SoundFile OpenForReading(const std::string& path, SF_INFO& info) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) throw HostError(ExitCode::File, path + ": no such file");
    // A pipe read ahead would lose its start.
    const DeclaredAudio declared = std::filesystem::is_regular_file(path, ignored) ? ReadDeclaredAudio(path) : DeclaredAudio{};
    info = {};
    SoundFile file(sf_open(path.c_str(), SFM_READ, &info));
    const bool badRate = file ? info.samplerate < 1 : declared.sampleRate && !(*declared.sampleRate >= 1.0);
    if (badRate) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.0f", file ? static_cast<double>(info.samplerate) : *declared.sampleRate);
        throw HostError(ExitCode::File, path + " has an invalid sample rate: " + rate + " Hz");
    }
    if (!file) throw HostError(ExitCode::File, "cannot read " + path + ": " + sf_strerror(nullptr));
    CheckWhole(path, declared, info);
    return file;
}

// The file type from the target's extension and the sample format by name.
int OutputFormat(const std::string& path, const std::string& sampleFormat, int channels, int sampleRate) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto container = std::find_if(std::begin(kContainers), std::end(kContainers),
                                        [&](const Container& c) { return extension == c.extension; });
    if (container == std::end(kContainers))
        throw HostError(ExitCode::Usage, "cannot tell the file type of " + path +
                                             " from its name: use .wav, .w64, .rf64, .flac, .aiff, .caf or .au");
    const auto format = std::find_if(std::begin(kSampleFormats), std::end(kSampleFormats),
                                     [&](const SampleFormat& f) { return sampleFormat == f.name; });
    if (format == std::end(kSampleFormats))
        throw HostError(ExitCode::Usage, "unknown --format " + sampleFormat + ": use one of " + KnownSampleFormats());
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = container->major | format->subtype;
    if (!sf_format_check(&info))
        throw HostError(ExitCode::Audio, "a " + extension + " file cannot hold " + std::to_string(channels) +
                                             " channels of " + sampleFormat + " samples at " +
                                             std::to_string(sampleRate) + " Hz; try another --format or file type");
    return info.format;
}

SoundFile OpenForWriting(const PendingFile& pending, const std::string& path, int format, int channels,
                         int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SoundFile file(sf_open(pending.TempPath().string().c_str(), SFM_WRITE, &info));
    if (!file) throw HostError(ExitCode::File, "cannot write " + path + ": " + sf_strerror(nullptr));
    // Wrapping around would turn an overload into loud noise.
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return file;
}

void Finish(SoundFile file, PendingFile& pending, const std::string& path) {
    if (sf_close(file.release()) != 0) throw HostError(ExitCode::File, "cannot write " + path + ": close failed");
    pending.Commit();
}

bool StderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// A bar that appears only once a render has taken a second, and only on a terminal.
class ProgressBar {
public:
    ProgressBar(bool wanted, sf_count_t total) : enabled(wanted && total > 0 && StderrIsTerminal()), total(total) {}
    ~ProgressBar() {
        if (shown) std::fprintf(stderr, "\r%60s\r", "");
    }
    void Update(sf_count_t done) {
        if (!enabled) return;
        const auto now = Clock::now();
        if (now - start < std::chrono::seconds(1) || now - last < std::chrono::milliseconds(100)) return;
        last = now;
        shown = true;
        const int width = 40;
        const int filled = static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * width);
        std::fprintf(stderr, "\rrendering [%-*s] %3d%%", width, std::string(static_cast<std::size_t>(std::clamp(filled, 0, width)), '#').c_str(),
                     static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total)));
        std::fflush(stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    bool enabled;
    bool shown = false;
    sf_count_t total;
    Clock::time_point start = Clock::now();
    Clock::time_point last{};
};

}  // namespace

std::string KnownSampleFormats() {
    std::string names;
    for (const SampleFormat& f : kSampleFormats) names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names;
}

void RenderFile(HostSession& session, const RenderRequest& request) {
    const AEffect* effect = session.Effect();
    if (effect->numInputs == 0)
        throw HostError(ExitCode::Audio, "the plug-in has no audio inputs: it is an instrument, and vsthost renders "
                                         "audio through effects");
    SF_INFO inInfo;
    SoundFile in = OpenForReading(request.input, inInfo);
    if (inInfo.channels > effect->numInputs)
        throw HostError(ExitCode::Audio, request.input + " has " + std::to_string(inInfo.channels) +
                                             " channels, more than the plug-in's " +
                                             std::to_string(effect->numInputs) + " inputs");
    const int outputs = request.outputs > 0 ? request.outputs : effect->numOutputs;
    if (outputs > effect->numOutputs)
        throw HostError(ExitCode::Usage, "--outputs " + std::to_string(outputs) + " asks for more than the plug-in's " +
                                             std::to_string(effect->numOutputs) + " outputs");
    if (outputs == 0) throw HostError(ExitCode::Audio, "the plug-in has no outputs to write");
    if (request.doublePrecision && !session.HasFlag(effFlagsCanDoubleReplacing))
        throw HostError(ExitCode::Audio, "--double: the plug-in has no double-precision processing");
    const int format = OutputFormat(request.output, request.format, outputs, inInfo.samplerate);

    BlockRenderer renderer(session, inInfo.samplerate, request.blockSize, request.doublePrecision);
    PendingFile pending(request.output);
    SoundFile out = OpenForWriting(pending, request.output, format, outputs, inInfo.samplerate);
    const auto tail = static_cast<long long>(std::llround(request.tailSeconds * inInfo.samplerate));
    ProgressBar progress(request.progress, inInfo.frames + tail);
    sf_count_t done = 0;
    const FrameSource frames{
        [&](double* buffer, long count) {
            const sf_count_t read = sf_readf_double(in.get(), buffer, count);
            if (read < count && sf_error(in.get()) != SF_ERR_NO_ERROR)
                throw HostError(ExitCode::File, "cannot read " + request.input + ": " + sf_strerror(in.get()));
            return static_cast<long>(read);
        },
        [&](const double* buffer, long count) {
            if (sf_writef_double(out.get(), buffer, count) != count)
                throw HostError(ExitCode::File, "cannot write " + request.output + ": " + sf_strerror(out.get()));
            done += count;
            progress.Update(done);
        }};
    renderer.Stream(inInfo.channels, outputs, frames, {request.compensateDelay, tail});
    Finish(std::move(out), pending, request.output);
}

void WriteToneFile(const std::string& path, int channels, double sampleRate, double seconds) {
    const int rate = static_cast<int>(sampleRate);
    const int format = OutputFormat(path, "float", channels, rate);
    const auto frames = static_cast<long>(seconds * sampleRate);
    const std::vector<double> samples = MakeTones(channels, sampleRate, frames);
    PendingFile pending(path);
    SoundFile out = OpenForWriting(pending, path, format, channels, rate);
    if (sf_writef_double(out.get(), samples.data(), frames) != frames)
        throw HostError(ExitCode::File, "cannot write " + path + ": " + sf_strerror(out.get()));
    Finish(std::move(out), pending, path);
}

FileAnalysis AnalyseFile(const std::string& path, int tones) {
    SF_INFO info;
    SoundFile in = OpenForReading(path, info);
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<double> samples(static_cast<std::size_t>(info.frames) * channels);
    const sf_count_t frames = sf_readf_double(in.get(), samples.data(), info.frames);
    if (frames != info.frames) throw HostError(ExitCode::File, "cannot read " + path + ": " + sf_strerror(in.get()));
    FileAnalysis analysis{info.channels, static_cast<double>(info.samplerate), static_cast<long>(frames), {}};
    for (std::size_t c = 0; c < channels; ++c)
        analysis.content.push_back(IdentifyChannel(samples.data(), static_cast<std::size_t>(frames), channels, c, tones,
                                                   analysis.sampleRate));
    return analysis;
}
