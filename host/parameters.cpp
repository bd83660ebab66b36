#include "parameters.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "host_error.h"

namespace {

// Steps of the scan for a display text: a multiple of the usual step counts
// (2, 4, 8, 16, ..., 1024) so that their exact values are tried.
constexpr int kScanSteps = 1024;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<double> ParseNumber(std::string_view text) {
    text = Trim(text);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<long> ParseIndex(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string Quoted(std::string_view text) {
    std::string quoted(1, '"');
    quoted += text;
    quoted += '"';
    return quoted;
}

bool Shows(const std::string& display, const std::string& label, std::string_view wanted, bool ignoreCase) {
    const std::string_view shown = Trim(display);
    const std::string withLabel = std::string(shown) + " " + std::string(Trim(label));
    if (ignoreCase) return EqualIgnoringCase(shown, wanted) || EqualIgnoringCase(withLabel, wanted);
    return shown == wanted || withLabel == wanted;
}

}  // namespace

ParameterInfo DescribeParameter(const HostSession& session, VstInt32 index) {
    return {index, session.Text(effGetParamName, index), session.Text(effGetParamLabel, index),
            session.Text(effGetParamDisplay, index), session.GetParameter(index)};
}

std::vector<ParameterInfo> ListParameters(const HostSession& session) {
    std::vector<ParameterInfo> list;
    for (VstInt32 i = 0; i < session.Effect()->numParams; ++i) list.push_back(DescribeParameter(session, i));
    return list;
}

VstInt32 FindParameter(const HostSession& session, std::string_view key) {
    const VstInt32 count = session.Effect()->numParams;
    if (const auto index = ParseIndex(key)) return *index >= 0 && *index < count ? static_cast<VstInt32>(*index) : -1;
    const std::string_view wanted = Trim(key);
    VstInt32 caseless = -1;
    for (VstInt32 i = 0; i < count; ++i) {
        const std::string name = session.Text(effGetParamName, i);
        const std::string_view trimmed = Trim(name);
        if (trimmed == wanted) return i;
        if (caseless < 0 && EqualIgnoringCase(trimmed, wanted)) caseless = i;
    }
    return caseless;
}

float ResolveValue(const HostSession& session, VstInt32 index, std::string_view text) {
    const std::string_view wanted = Trim(text);
    const float original = session.GetParameter(index);
    std::vector<std::string> displays, labels;
    for (int step = 0; step <= kScanSteps; ++step) {
        session.SetParameter(index, static_cast<float>(step) / kScanSteps);
        displays.push_back(session.Text(effGetParamDisplay, index));
        labels.push_back(session.Text(effGetParamLabel, index));
    }
    session.SetParameter(index, original);
    // The middle of the first run of values that show the text: the value
    // furthest from the neighbouring texts, whatever rounding the plug-in uses.
    for (bool ignoreCase : {false, true}) {
        int first = -1, last = -1;
        for (std::size_t step = 0; step < displays.size(); ++step) {
            const bool hit = Shows(displays[step], labels[step], wanted, ignoreCase);
            if (hit && first < 0) first = static_cast<int>(step);
            if (first >= 0) {
                if (!hit) break;
                last = static_cast<int>(step);
            }
        }
        if (first >= 0) return static_cast<float>((first + last) / 2) / kScanSteps;
    }

    const std::string name = session.Text(effGetParamName, index);
    if (const auto number = ParseNumber(wanted)) {
        if (*number >= 0.0 && *number <= 1.0) return static_cast<float>(*number);
        throw HostError(ExitCode::Parameter, "value " + std::string(wanted) + " for parameter " + Quoted(name) +
                                                 " is out of range: a normalised value lies between 0 and 1");
    }
    throw HostError(ExitCode::Parameter, "parameter " + Quoted(name) + " never shows " + Quoted(wanted) +
                                             " (it shows " + Quoted(Trim(displays.front())) + " to " +
                                             Quoted(Trim(displays.back())) + "); give one of its display texts " +
                                             "or a normalised value from 0 to 1");
}

void ApplySetting(const HostSession& session, std::string_view setting) {
    for (std::size_t split = setting.find('='); split != std::string_view::npos;
         split = setting.find('=', split + 1)) {
        const VstInt32 index = FindParameter(session, setting.substr(0, split));
        if (index < 0) continue;
        session.SetParameter(index, ResolveValue(session, index, setting.substr(split + 1)));
        return;
    }
    const std::size_t split = setting.find('=');
    if (split == std::string_view::npos)
        throw HostError(ExitCode::Usage, "--set wants NAME=VALUE or INDEX=VALUE, not " + Quoted(setting));
    const std::string_view key = Trim(setting.substr(0, split));
    const VstInt32 count = session.Effect()->numParams;
    if (ParseIndex(key))
        throw HostError(ExitCode::Parameter,
                        "parameter index " + std::string(key) + " is out of range: " +
                            (count ? "the plug-in has " + std::to_string(count) + " parameters, 0 to " +
                                         std::to_string(count - 1)
                                   : std::string("the plug-in has no parameters")));
    std::string known;
    for (VstInt32 i = 0; i < count; ++i) known += (i ? ", " : "") + Quoted(Trim(session.Text(effGetParamName, i)));
    throw HostError(ExitCode::Parameter,
                    "unknown parameter " + Quoted(key) + " (the plug-in has " + (count ? known : "none") + ")");
}
