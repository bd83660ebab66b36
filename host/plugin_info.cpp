#include "plugin_info.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "block_renderer.h"
#include "fx_preset.h"

namespace {

constexpr const char* kCanDoTexts[] = {"sendVstEvents",      "sendVstMidiEvent", "receiveVstEvents",
                                       "receiveVstMidiEvent", "receiveVstTimeInfo", "offline",
                                       "bypass",             "midiProgramNames"};

constexpr std::pair<VstInt32, const char*> kFlagNames[] = {
    {effFlagsHasEditor, "hasEditor"},
    {effFlagsHasClip, "hasClip"},
    {effFlagsHasVu, "hasVu"},
    {effFlagsCanMono, "canMono"},
    {effFlagsCanReplacing, "canReplacing"},
    {effFlagsProgramChunks, "programChunks"},
    {effFlagsIsSynth, "isSynth"},
    {effFlagsNoSoundInStop, "noSoundInStop"},
    {effFlagsExtIsAsync, "extIsAsync"},
    {effFlagsExtHasBuffer, "extHasBuffer"},
    {effFlagsCanDoubleReplacing, "canDoubleReplacing"},
};

constexpr const char* kCategories[] = {"unknown",    "effect",      "synth",       "analysis",
                                       "mastering",  "spacializer", "roomFx",      "surroundFx",
                                       "restoration", "offlineProcess", "shell", "generator"};

std::string CategoryName(VstIntPtr category) {
    if (category >= 0 && category < static_cast<VstIntPtr>(std::size(kCategories)))
        return kCategories[category];
    return "category " + std::to_string(category);
}

std::string CanDoMeaning(VstIntPtr answer) {
    if (answer == 1) return "yes";
    if (answer == -1) return "no";
    if (answer == 0) return "don't know";
    return "answers " + std::to_string(answer);
}

std::string Hex(VstInt32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string JsonNumber(double value) { return std::isfinite(value) ? Number(value) : "null"; }

// Length of the UTF-8 sequence starting at `at`, or 0 if it is not one.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    return length;
}

}  // namespace

PluginInfo DescribePlugin(HostSession& session) {
    const AEffect* effect = session.Effect();
    PluginInfo info;
    info.path = session.Path();
    info.effectName = session.Text(effGetEffectName);
    info.productName = session.Text(effGetProductString);
    info.vendorName = session.Text(effGetVendorString);
    info.vendorVersion = session.VendorVersion();
    info.uniqueId = effect->uniqueID;
    info.version = effect->version;
    info.vstVersion = session.Dispatch(effGetVstVersion);
    info.category = session.Dispatch(effGetPlugCategory);
    info.inputs = effect->numInputs;
    info.outputs = effect->numOutputs;
    info.programs = effect->numPrograms;
    info.initialDelay = effect->initialDelay;
    info.flags = effect->flags;
    info.parameters = ListParameters(session);
    for (const char* text : kCanDoTexts) {
        char buffer[64] = {};
        std::strncpy(buffer, text, sizeof buffer - 1);
        info.canDo.emplace_back(text, session.Dispatch(effCanDo, 0, 0, buffer));
    }
    if (session.HasFlag(effFlagsProgramChunks)) {
        info.programChunkSize = session.GetChunk(true).size();
        info.bankChunkSize = session.GetChunk(false).size();
    }
    if (CanProcess(session, false)) {
        const VstInt32 frames = session.BlockSize();
        BlockRenderer renderer(session, session.SampleRate(), frames, false);
        const std::vector<double> in(static_cast<std::size_t>(frames) * static_cast<std::size_t>(effect->numInputs));
        std::vector<double> out(static_cast<std::size_t>(frames) * static_cast<std::size_t>(effect->numOutputs));
        renderer.Process(in.data(), effect->numInputs, out.data(), effect->numOutputs, frames);
        info.delayAfterBlock = effect->initialDelay;
    }
    return info;
}

std::vector<std::string> FlagNames(VstInt32 flags) {
    std::vector<std::string> names;
    VstInt32 known = 0;
    for (const auto& [flag, name] : kFlagNames) {
        known |= flag;
        if (flags & flag) names.emplace_back(name);
    }
    if (flags & ~known) names.push_back("other " + Hex(flags & ~known));
    return names;
}

std::string FormatInfoText(const PluginInfo& info) {
    std::ostringstream out;
    auto line = [&](const char* key, const std::string& value) {
        char padded[24];
        std::snprintf(padded, sizeof padded, "%-16s", key);
        out << padded << value << '\n';
    };
    std::string flags;
    for (const std::string& name : FlagNames(info.flags)) flags += (flags.empty() ? "" : ", ") + name;
    line("plug-in", info.path);
    line("effect name", info.effectName);
    line("product", info.productName);
    line("vendor", info.vendorName);
    line("vendor version", std::to_string(info.vendorVersion));
    line("unique ID", FormatFxId(info.uniqueId));
    line("effect version", std::to_string(info.version));
    line("VST version", std::to_string(info.vstVersion));
    line("category", CategoryName(info.category));
    line("inputs", std::to_string(info.inputs));
    line("outputs", std::to_string(info.outputs));
    line("programs", std::to_string(info.programs));
    std::string delay = std::to_string(info.initialDelay) + " samples";
    if (!info.delayAfterBlock)
        delay += " at open (it cannot process, to tell more)";
    else if (*info.delayAfterBlock != info.initialDelay)
        delay = std::to_string(*info.delayAfterBlock) + " samples after a first block (" + std::to_string(info.initialDelay) + " at open)";
    line("initial delay", delay);
    line("flags", Hex(info.flags) + (flags.empty() ? "" : " (" + flags + ")"));
    line("state chunk", info.programChunkSize
                            ? std::to_string(*info.programChunkSize) + " bytes (program), " +
                                  std::to_string(*info.bankChunkSize) + " bytes (bank)"
                            : "none: the state is the parameter values");
    out << "can do\n";
    for (const auto& [text, answer] : info.canDo) {
        char row[96];
        std::snprintf(row, sizeof row, "  %-22s", text.c_str());
        out << row << CanDoMeaning(answer) << '\n';
    }
    out << "parameters (" << info.parameters.size() << ")\n";
    for (const ParameterInfo& p : info.parameters) {
        std::string shown = p.display + (p.label.empty() ? "" : " " + p.label);
        out << "  " << p.index << "  \"" << p.name << "\" = \"" << shown << "\"  (normalised " << Number(p.value)
            << ")\n";
    }
    return out.str();
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = Utf8Length(text, at);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && length > 0) {
            out.append(text, at, length);
            at += length;
            continue;
        } else {
            // Control characters, and bytes that are no UTF-8, read as Latin-1.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
        ++at;
    }
    return out + "\"";
}

std::string FormatInfoJson(const PluginInfo& info) {
    std::ostringstream out;
    out << "{\n";
    out << "  \"path\": " << JsonString(info.path) << ",\n";
    out << "  \"effectName\": " << JsonString(info.effectName) << ",\n";
    out << "  \"productName\": " << JsonString(info.productName) << ",\n";
    out << "  \"vendorName\": " << JsonString(info.vendorName) << ",\n";
    out << "  \"vendorVersion\": " << info.vendorVersion << ",\n";
    out << "  \"uniqueId\": " << info.uniqueId << ",\n";
    out << "  \"version\": " << info.version << ",\n";
    out << "  \"vstVersion\": " << info.vstVersion << ",\n";
    out << "  \"category\": " << JsonString(CategoryName(info.category)) << ",\n";
    out << "  \"inputs\": " << info.inputs << ",\n";
    out << "  \"outputs\": " << info.outputs << ",\n";
    out << "  \"programs\": " << info.programs << ",\n";
    out << "  \"initialDelay\": " << info.initialDelay << ",\n";
    out << "  \"delayAfterFirstBlock\": " << (info.delayAfterBlock ? std::to_string(*info.delayAfterBlock) : "null") << ",\n";
    out << "  \"flags\": {\"value\": " << info.flags << ", \"names\": [";
    const auto names = FlagNames(info.flags);
    for (std::size_t i = 0; i < names.size(); ++i) out << (i ? ", " : "") << JsonString(names[i]);
    out << "]},\n";
    out << "  \"stateChunk\": ";
    if (info.programChunkSize)
        out << "{\"program\": " << *info.programChunkSize << ", \"bank\": " << *info.bankChunkSize << "},\n";
    else
        out << "null,\n";
    out << "  \"canDo\": {";
    for (std::size_t i = 0; i < info.canDo.size(); ++i)
        out << (i ? ", " : "") << JsonString(info.canDo[i].first) << ": " << info.canDo[i].second;
    out << "},\n";
    out << "  \"parameters\": [";
    for (std::size_t i = 0; i < info.parameters.size(); ++i) {
        const ParameterInfo& p = info.parameters[i];
        out << (i ? "," : "") << "\n    {\"index\": " << p.index << ", \"name\": " << JsonString(p.name)
            << ", \"label\": " << JsonString(p.label) << ", \"value\": " << JsonNumber(p.value)
            << ", \"display\": " << JsonString(p.display) << "}";
    }
    out << (info.parameters.empty() ? "]\n" : "\n  ]\n");
    out << "}\n";
    return out.str();
}
