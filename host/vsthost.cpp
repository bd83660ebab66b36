// vsthost: a headless VST 2 host for the command line.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "exit_cleanup.h"
#include "fx_preset.h"
#include "host_error.h"
#include "host_session.h"
#include "parameters.h"
#include "plugin_info.h"
#if VSTHOST_AUDIO_FILES
#include "audio_files.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  vsthost info PLUGIN [--json]\n"
    "  vsthost render PLUGIN IN OUT [--block N] [--double] [--outputs N] [--format F]\n"
    "                 [--set NAME=VALUE|INDEX=VALUE]... [--preset FILE] [--tempo BPM] [--no-progress]\n"
    "                 [--tail SECONDS] [--no-delay-compensation]\n"
    "  vsthost preset save PLUGIN OUT.fxp|OUT.fxb [--set ...]... [--preset FILE]\n"
    "  vsthost preset show FILE\n"
    "  vsthost preset load PLUGIN FILE\n"
    "  vsthost tones OUT [--channels N] [--seconds S] [--rate HZ]\n"
    "  vsthost analyse FILE [--expect IN1,IN2,...]   (each an input number or none)\n"
    "  vsthost --version\n"
    "--set takes a display text or a normalised number from 0 to 1; --set-text and\n"
    "--set-normalised take only one of them, for a value that could be both.\n";

constexpr int kAnalysedTones = 16;
constexpr int kExpectationFailed = 1;

struct Arguments {
    std::vector<std::string> positional;
    std::vector<std::pair<ValueForm, std::string>> settings;  // in the order given
    std::map<std::string, std::string, std::less<>> values;
    std::set<std::string, std::less<>> switches;

    bool Has(std::string_view name) const { return switches.contains(name); }
    const std::string* Value(std::string_view name) const {
        const auto found = values.find(name);
        return found == values.end() ? nullptr : &found->second;
    }
};

HostError Usage(const std::string& message) { return HostError(ExitCode::Usage, message); }

// The options that set a parameter, by how they read the value.
std::optional<ValueForm> SettingForm(std::string_view option) {
    if (option == "set") return ValueForm::Either;
    if (option == "set-text") return ValueForm::Text;
    if (option == "set-normalised") return ValueForm::Normalised;
    return std::nullopt;
}

// Options are taken anywhere after the command, as --name VALUE or --name=VALUE;
// after "--" every word is a file ("-" too, always).
Arguments Parse(const std::vector<std::string>& words, const std::string& command, std::size_t positionals,
                std::set<std::string_view> valueOptions, std::set<std::string_view> switchOptions) {
    Arguments args;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--" && !optionsEnded) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            args.positional.push_back(word);
            continue;
        }
        if (word[1] != '-')
            throw Usage("vsthost " + command + " takes no option " + word +
                        " (options start with --; a file named so can follow --)");
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        if (switchOptions.contains(name)) {
            if (equals != std::string::npos) throw Usage("--" + name + " takes no value");
            args.switches.insert(name);
            continue;
        }
        if (!valueOptions.contains(name)) throw Usage("vsthost " + command + " takes no option --" + name);
        std::string value;
        if (equals != std::string::npos)
            value = word.substr(equals + 1);
        else if (i + 1 < words.size())
            value = words[++i];
        else
            throw Usage("--" + name + " needs a value");
        if (const auto form = SettingForm(name))
            args.settings.emplace_back(*form, value);
        else
            args.values[name] = value;
    }
    if (args.positional.size() != positionals)
        throw Usage("vsthost " + command + " takes " + std::to_string(positionals) + " file argument" +
                    (positionals == 1 ? "" : "s") + ", not " + std::to_string(args.positional.size()) +
                    " (vsthost help shows the usage)");
    return args;
}

// Preset first, then the settings in the order given. The second instance
// that looks display texts up is gone before the render starts.
void PrepareParameters(const HostSession& session, const Arguments& args) {
    if (const std::string* preset = args.Value("preset")) ApplyPreset(session, ReadPresetFile(*preset), *preset);
    ParameterSetter setter(session);
    for (const auto& [form, setting] : args.settings) setter.Apply(setting, form);
}

void PrintParameters(const HostSession& session) {
    for (const ParameterInfo& p : ListParameters(session))
        std::printf("%d  \"%s\" = \"%s%s%s\"  (normalised %.6g)\n", p.index, p.name.c_str(), p.display.c_str(),
                    p.label.empty() ? "" : " ", p.label.c_str(), static_cast<double>(p.value));
}

int Info(const std::vector<std::string>& words) {
    const Arguments args = Parse(words, "info", 1, {}, {"json"});
    const auto session = HostSession::Load(args.positional[0]);
    const PluginInfo info = DescribePlugin(*session);
    std::fputs((args.Has("json") ? FormatInfoJson(info) : FormatInfoText(info)).c_str(), stdout);
    return 0;
}

void ShowPreset(const FxPreset& preset, const std::string& indent) {
    const char* kind = preset.bank ? (preset.opaque ? "'FBCh'" : "'FxBk'") : (preset.opaque ? "'FPCh'" : "'FxCk'");
    std::printf("%stype             %s %s, %s (format version %d)\n", indent.c_str(), preset.bank ? "bank" : "program",
                kind, preset.opaque ? "opaque state chunk" : "parameter values", preset.formatVersion);
    std::printf("%splug-in ID       %s\n", indent.c_str(), FormatFxId(preset.fxId).c_str());
    std::printf("%splug-in version  %d\n", indent.c_str(), preset.fxVersion);
    if (preset.bank) {
        std::printf("%scurrent program  %d\n", indent.c_str(), preset.currentProgram);
    } else {
        std::printf("%sname             %s\n", indent.c_str(), JsonString(preset.name).c_str());
        std::printf("%sparameters       %d\n", indent.c_str(), preset.numParams);
    }
    if (preset.opaque) {
        std::printf("%schunk            %zu bytes", indent.c_str(), preset.chunk.size());
        for (std::size_t i = 0; i < preset.chunk.size() && i < 16; ++i) std::printf(" %02x", preset.chunk[i]);
        std::printf("%s\n", preset.chunk.size() > 16 ? " ..." : "");
    }
    for (std::size_t i = 0; i < preset.params.size(); ++i)
        std::printf("%s  %zu  %.6g\n", indent.c_str(), i, static_cast<double>(preset.params[i]));
    for (std::size_t p = 0; p < preset.programs.size(); ++p) {
        std::printf("%sprogram %zu\n", indent.c_str(), p);
        ShowPreset(preset.programs[p], indent + "  ");
    }
}

int Preset(const std::vector<std::string>& words) {
    const std::string action = words.empty() ? "" : words[0];
    const std::vector<std::string> rest(words.begin() + (words.empty() ? 0 : 1), words.end());
    if (action == "save") {
        const Arguments args = Parse(rest, "preset save", 2, {"set", "set-text", "set-normalised", "preset"}, {});
        const auto session = HostSession::Load(args.positional[0]);
        PrepareParameters(*session, args);
        const std::string& out = args.positional[1];
        std::string extension = std::filesystem::path(out).extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        WritePresetFile(out, CapturePreset(*session, extension == ".fxb"));
        return 0;
    }
    if (action == "show") {
        const Arguments args = Parse(rest, "preset show", 1, {}, {});
        const FxPreset preset = ReadPresetFile(args.positional[0]);
        std::printf("file             %s\n", args.positional[0].c_str());
        ShowPreset(preset, "");
        return 0;
    }
    if (action == "load") {
        const Arguments args = Parse(rest, "preset load", 2, {}, {});
        const auto session = HostSession::Load(args.positional[0]);
        ApplyPreset(*session, ReadPresetFile(args.positional[1]), args.positional[1]);
        PrintParameters(*session);
        return 0;
    }
    throw Usage("vsthost preset wants save, show or load");
}

#if VSTHOST_AUDIO_FILES

double NumberOption(const Arguments& args, std::string_view name, double fallback, double low, double high) {
    const std::string* text = args.Value(name);
    if (!text) return fallback;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || error != std::errc() || end != text->data() + text->size() || !(value >= low && value <= high)) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", low, high);
        throw Usage("--" + std::string(name) + " wants a number from " + range + ", not \"" + *text + "\"");
    }
    return value;
}

int WholeOption(const Arguments& args, std::string_view name, int fallback, int low, int high) {
    const double value = NumberOption(args, name, fallback, low, high);
    if (value != std::floor(value)) throw Usage("--" + std::string(name) + " wants a whole number");
    return static_cast<int>(value);
}

int Render(const std::vector<std::string>& words) {
    const Arguments args = Parse(words, "render", 3,
                                 {"block", "outputs", "format", "set", "set-text", "set-normalised", "preset", "tempo", "tail"},
                                 {"double", "no-progress", "no-delay-compensation"});
    RenderRequest request;
    request.input = args.positional[1];
    request.output = args.positional[2];
    request.blockSize = WholeOption(args, "block", request.blockSize, 1, 1 << 16);
    request.outputs = WholeOption(args, "outputs", 0, 1, 1024);
    request.doublePrecision = args.Has("double");
    request.progress = !args.Has("no-progress");
    request.compensateDelay = !args.Has("no-delay-compensation");
    request.tailSeconds = NumberOption(args, "tail", 0.0, 0.0, 3600.0);
    if (const std::string* format = args.Value("format")) request.format = *format;
    const double tempo = NumberOption(args, "tempo", HostSession::kDefaultTempo, 1.0, 999.0);
    const auto session = HostSession::Load(args.positional[0]);
    session->SetTempo(tempo);
    PrepareParameters(*session, args);
    RenderFile(*session, request);
    return 0;
}

int Tones(const std::vector<std::string>& words) {
    const Arguments args = Parse(words, "tones", 1, {"channels", "seconds", "rate"}, {});
    const int channels = WholeOption(args, "channels", 16, 1, 64);
    const double seconds = NumberOption(args, "seconds", 2.0, 0.01, 3600.0);
    const int rate = WholeOption(args, "rate", 48000, 8000, 384000);
    WriteToneFile(args.positional[0], channels, rate, seconds);
    std::printf("%s: %d channels at %d Hz, %.2f s; input channel k carries a sine of k x %.0f Hz\n",
                args.positional[0].c_str(), channels, rate, seconds, kToneSpacingHz);
    return 0;
}

// 0 stands for silence.
std::vector<int> ParseExpectations(const std::string& text) {
    std::vector<int> expected;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int input = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), input);
        if (item == "none")
            input = 0;
        else if (item.empty() || error != std::errc() || end != item.data() + item.size() || input < 1 ||
                 input > kAnalysedTones)
            throw Usage("--expect wants a list of input numbers (1 to 16) or none, not \"" + item + "\"");
        expected.push_back(input);
        if (comma == std::string::npos) return expected;
        start = comma + 1;
    }
}

int Analyse(const std::vector<std::string>& words) {
    const Arguments args = Parse(words, "analyse", 1, {"expect"}, {});
    const std::vector<int> expected = args.Value("expect") ? ParseExpectations(*args.Value("expect")) : std::vector<int>{};
    const FileAnalysis analysis = AnalyseFile(args.positional[0], kAnalysedTones);
    std::printf("%s: %d channels, %.0f Hz, %.2f s\n", args.positional[0].c_str(), analysis.channels,
                analysis.sampleRate, static_cast<double>(analysis.frames) / analysis.sampleRate);
    bool allAsAsked = expected.empty() || expected.size() == analysis.content.size();
    for (std::size_t c = 0; c < analysis.content.size(); ++c) {
        const ChannelContent& content = analysis.content[c];
        char found[96];
        const double dbfs = 20.0 * std::log10(std::max(content.level, 1e-12));
        if (content.kind == ChannelContent::Silent)
            std::snprintf(found, sizeof found, "silent");
        else if (content.kind == ChannelContent::Tone)
            std::snprintf(found, sizeof found, "input %d (%.0f Hz, %.1f dBFS)", content.tone, ToneFrequency(content.tone), dbfs);
        else
            std::snprintf(found, sizeof found, "no single test tone (%.1f dBFS RMS)", dbfs);
        std::string line = "channel " + std::to_string(c + 1) + ": " + found;
        if (c < expected.size()) {
            const int want = expected[c];
            const bool ok = want == 0 ? content.kind == ChannelContent::Silent
                                      : content.kind == ChannelContent::Tone && content.tone == want;
            allAsAsked = allAsAsked && ok;
            line.resize(std::max<std::size_t>(line.size(), 44), ' ');
            line += "asked for " + (want ? "input " + std::to_string(want) : std::string("none")) +
                    (ok ? ": ok" : ": DIFFERENT");
        }
        std::printf("%s\n", line.c_str());
    }
    if (!expected.empty() && expected.size() != analysis.content.size())
        std::printf("expected %zu channels, found %d\n", expected.size(), analysis.channels);
    if (!expected.empty()) std::printf("%s\n", allAsAsked ? "every output carries what the routing asked for" : "the output differs from the routing");
    return allAsAsked ? 0 : kExpectationFailed;
}

#else

[[noreturn]] int WithoutAudioFiles(const std::vector<std::string>&) {
    throw HostError(ExitCode::Audio, "this vsthost was built without libsndfile: render, tones and analyse are not available");
}
constexpr auto Render = WithoutAudioFiles;
constexpr auto Tones = WithoutAudioFiles;
constexpr auto Analyse = WithoutAudioFiles;

#endif

int Run(const std::vector<std::string>& words) {
    const std::string command = words.empty() ? "" : words[0];
    const std::vector<std::string> rest(words.begin() + (words.empty() ? 0 : 1), words.end());
    if (command == "info") return Info(rest);
    if (command == "render") return Render(rest);
    if (command == "preset") return Preset(rest);
    if (command == "tones") return Tones(rest);
    if (command == "analyse") return Analyse(rest);
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version" || command == "version") {
        std::puts("vsthost " VSTHOST_VERSION);
        return 0;
    }
    throw Usage(command.empty() ? "no command given (vsthost help shows the usage)"
                                : "unknown command \"" + command + "\" (vsthost help shows the usage)");
}

int Fail(std::string message, ExitCode code) {
    for (char& c : message)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "vsthost: %s\n", message.c_str());
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    InstallExitCleanup();
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const HostError& error) {
        return Fail(error.what(), error.Code());
    } catch (const std::bad_alloc&) {
        return Fail("out of memory", ExitCode::Unexpected);
    } catch (const std::exception& error) {
        return Fail(std::string("unexpected failure: ") + error.what(), ExitCode::Unexpected);
    }
}
