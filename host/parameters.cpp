#include "parameters.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "host_error.h"

namespace {

// Points of the first sweep for a display text: a multiple of the usual step
// counts (2, 4, 8, 16, ..., 1024) so that their exact values are tried.
constexpr int kSweepSteps = 1024;
// A text can lie between any two points of a sweep: between points that show
// different texts the search halves further, within these bounds.
constexpr int kMaxHalvings = 40;
constexpr int kMaxLookups = 20000;
// Values a search skips because the plug-in threw at them, each costing a
// fresh instance: the sweep then goes on to halving with what it has seen,
// which stops at twice as many.
constexpr int kMaxSkippedInSweep = 32;
constexpr int kMaxSkipped = 2 * kMaxSkippedInSweep;
// Numbers in display texts compare equal this close, relatively: about what
// a normalised float resolves of a parameter's range.
constexpr double kNumberTolerance = 1e-6;
constexpr std::size_t kTextBuffer = 1024;

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

std::optional<long> ParseIndex(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

struct Number {
    double value;
    std::string suffix;  // a unit, if the text has one after the number
};

// The number a text starts with, and what follows it.
std::optional<Number> ReadNumber(std::string_view text) {
    text = Trim(text);
    if (text.size() > 1 && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || std::isnan(value)) return std::nullopt;
    return Number{value, std::string(Trim(text.substr(static_cast<std::size_t>(end - text.data()))))};
}

std::optional<double> PlainNumber(std::string_view text) {
    const auto number = ReadNumber(text);
    if (!number || !number->suffix.empty() || text.empty() || text.front() == '+') return std::nullopt;
    return number->value;
}

std::string Quoted(std::string_view text) {
    std::string quoted(1, '"');
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string Normalised(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

const char* OptionName(ValueForm form) {
    switch (form) {
    case ValueForm::Text:
        return "--set-text";
    case ValueForm::Normalised:
        return "--set-normalised";
    default:
        return "--set";
    }
}

std::string Indices(const std::vector<VstInt32>& indices) {
    std::string list;
    for (std::size_t i = 0; i < indices.size(); ++i)
        list += (i == 0 ? "" : i + 1 == indices.size() ? " and " : ", ") + std::to_string(indices[i]);
    return list;
}

// What a parameter shows at one value.
struct Shown {
    float value;
    std::string display, label;
    std::optional<Number> number;

    std::string Text() const {
        const std::string_view label = Trim(this->label);
        return std::string(Trim(display)) + (label.empty() ? "" : " ") + std::string(label);
    }
};

// What the probe shows at its present value, which is `value`.
Shown ShownNow(const HostSession& probe, VstInt32 index, float value) {
    Shown shown{value, probe.Text(effGetParamDisplay, index), probe.Text(effGetParamLabel, index), std::nullopt};
    shown.number = ReadNumber(shown.display);
    return shown;
}

// How a shown text answers what the user wrote; lower is better.
enum class Match { Exact, IgnoringCase, SameNumber, None };

class Wanted {
public:
    explicit Wanted(std::string_view text) : text(Trim(text)), number(ReadNumber(text)) {}

    Match Against(const Shown& shown) const {
        const std::string_view display = Trim(shown.display);
        const std::string withLabel = std::string(display) + " " + std::string(Trim(shown.label));
        if (display == text || withLabel == text) return Match::Exact;
        if (EqualIgnoringCase(display, text) || EqualIgnoringCase(withLabel, text)) return Match::IgnoringCase;
        const double distance = Distance(shown);
        if (distance == 0.0 || (number && std::isfinite(number->value) &&
                                distance <= kNumberTolerance * std::abs(number->value)))
            return Match::SameNumber;
        return Match::None;
    }

    // The text itself, or exactly its number: nothing else could show it better.
    bool ShownExactly(const Shown& shown) const {
        const Match match = Against(shown);
        return match == Match::Exact || match == Match::IgnoringCase ||
               (match == Match::SameNumber && Distance(shown) == 0.0);
    }

    // How far the shown number is from the wanted one, in the same unit.
    double Distance(const Shown& shown) const {
        if (!number || !shown.number || !SameUnit(shown)) return std::numeric_limits<double>::infinity();
        if (number->value == shown.number->value) return 0.0;
        return std::abs(number->value - shown.number->value);
    }

    // Whether a text could lie between two shown ones: a number between two
    // numbers of the same unit, or anything next to a text that is none.
    bool MayLieBetween(const Shown& a, const Shown& b) const {
        if (a.display == b.display && a.label == b.label) return false;
        const bool comparable = a.number && b.number && EqualIgnoringCase(a.number->suffix, b.number->suffix) &&
                                EqualIgnoringCase(Trim(a.label), Trim(b.label));
        if (!comparable) return true;
        if (!number || !SameUnit(a)) return false;
        const auto [low, high] = std::minmax(a.number->value, b.number->value);
        return low <= number->value && number->value <= high;
    }

    const std::string& Text() const { return text; }

private:
    bool SameUnit(const Shown& shown) const {
        return number->suffix.empty() || EqualIgnoringCase(number->suffix, shown.number->suffix) ||
               (shown.number->suffix.empty() && EqualIgnoringCase(number->suffix, Trim(shown.label)));
    }

    std::string text;
    std::optional<Number> number;
};

// Brings a fresh instance to the program and parameter values of another:
// what display texts hang on. A state chunk can be large, and some plug-ins
// complain about their own.
void CopyState(const HostSession& from, const HostSession& to) {
    to.Dispatch(effSetProgram, 0, from.Dispatch(effGetProgram));
    for (VstInt32 i = 0; i < from.Effect()->numParams; ++i) to.SetParameter(i, from.GetParameter(i));
}

}  // namespace

// The second instance display texts are looked up on, in the state of the
// one that renders. A plug-in that throws there has failed that instance
// only, as some do for a few values of a parameter: it is dropped, and the
// next call starts a fresh one.
class ProbeInstance {
public:
    explicit ProbeInstance(const HostSession& session) : session(session) {}

    // What `call` returns on the instance, or nothing if the plug-in threw.
    template <class Call>
    auto Try(Call call) -> std::optional<decltype(call(std::declval<const HostSession&>()))> {
        const HostSession& probe = Get();
        try {
            return call(probe);
        } catch (const HostError& error) {
            if (error.Code() != ExitCode::PluginFailed) throw;
            instance.reset();
            ++failures;
            return std::nullopt;
        }
    }

    // A fresh instance copies the values anyway.
    void Follow(VstInt32 index, float value) {
        if (!instance) return;
        Try([&](const HostSession& probe) {
            probe.SetParameter(index, value);
            return true;
        });
    }

    int Failures() const { return failures; }

private:
    // An instance that cannot even be started in the renderer's state fails
    // the look-up: there is nothing left to search with.
    const HostSession& Get() {
        if (instance) return *instance;
        try {
            instance = HostSession::Load(session.Path());
        } catch (const HostError& error) {
            throw HostError(error.Code(), std::string("display texts are looked up on a second instance of the "
                                                      "plug-in, which failed (") +
                                              error.what() + "); --set-normalised needs none");
        }
        CopyState(session, *instance);
        return *instance;
    }

    const HostSession& session;
    std::unique_ptr<HostSession> instance;
    int failures = 0;
};

namespace {

// Looks for a value at which a parameter shows a text, on an instance free
// to be disturbed: the plug-in's own text-to-value request first, then a
// sweep, then halving between sweep points that show different texts.
// Values at which the plug-in throws are skipped.
class TextSearch {
public:
    TextSearch(ProbeInstance& probe, VstInt32 index, const Wanted& wanted)
        : probe(probe), index(index), wanted(wanted), failuresBefore(probe.Failures()) {}

    std::optional<Shown> Find() {
        if (auto parsed = ParsedByPlugin()) return parsed;
        // Coarse to fine: a sweep cut short by a plug-in that keeps throwing
        // has still seen the whole range.
        for (int stride = kSweepSteps; stride >= 1; stride /= 2)
            for (int step = 0; step <= kSweepSteps; step += stride)
                if (stride == kSweepSteps || step % (2 * stride) != 0)
                    if (auto shown = At(static_cast<float>(step) / kSweepSteps, kMaxSkippedInSweep))
                        sweep.push_back(std::move(*shown));
        std::sort(sweep.begin(), sweep.end(), [](const Shown& a, const Shown& b) { return a.value < b.value; });
        // The middle of the first run of values that show the text: the value
        // furthest from the neighbouring texts, whatever rounding the plug-in uses.
        for (Match kind : {Match::Exact, Match::IgnoringCase}) {
            const auto first = std::find_if(sweep.begin(), sweep.end(), [&](const Shown& s) { return wanted.Against(s) == kind; });
            if (first == sweep.end()) continue;
            const auto end = std::find_if(first, sweep.end(), [&](const Shown& s) { return wanted.Against(s) != kind; });
            return *(first + (end - first - 1) / 2);
        }
        for (const Shown& shown : sweep) Consider(shown);
        for (std::size_t i = 0; i + 1 < sweep.size() && !best; ++i)
            if (wanted.MayLieBetween(sweep[i], sweep[i + 1])) Halve(sweep[i], sweep[i + 1], kMaxHalvings);
        return best;
    }

    // What the sweep showed, lowest value first, for messages.
    const std::vector<Shown>& Sweep() const { return sweep; }
    int Skipped() const { return probe.Failures() - failuresBefore; }

private:
    std::optional<Shown> At(float value, int maxSkipped = kMaxSkipped) {
        if (Skipped() >= maxSkipped) return std::nullopt;
        ++lookups;
        return probe.Try([&](const HostSession& instance) {
            instance.SetParameter(index, value);
            return ShownNow(instance, index, value);
        });
    }

    // Taken only if the answer does not hang on the value before, and the
    // plug-in then shows the text: some answer yes to any text.
    std::optional<Shown> ParsedByPlugin() {
        float results[2];
        for (int start = 0; start < 2; ++start) {
            const auto parsed = probe.Try([&](const HostSession& instance) -> std::optional<float> {
                instance.SetParameter(index, static_cast<float>(start));
                std::vector<char> text(wanted.Text().begin(), wanted.Text().end());
                text.resize(std::max(text.size() + 1, kTextBuffer), 0);
                if (instance.Dispatch(effString2Parameter, index, 0, text.data()) == 0) return std::nullopt;
                return instance.GetParameter(index);
            });
            if (!parsed || !*parsed) return std::nullopt;
            results[start] = **parsed;
        }
        if (results[0] != results[1] || !(results[0] >= 0.0f && results[0] <= 1.0f)) return std::nullopt;
        auto shown = At(results[0]);
        if (!shown || wanted.Against(*shown) == Match::None) return std::nullopt;
        return shown;
    }

    void Consider(const Shown& shown) {
        const Match match = wanted.Against(shown);
        if (match == Match::None) return;
        const double distance = match == Match::SameNumber ? wanted.Distance(shown) : -1.0;
        if (!best || distance < bestDistance) best = shown, bestDistance = distance;
        found = found || distance <= 0.0;
    }

    void Halve(const Shown& a, const Shown& b, int depth) {
        if (found || depth == 0 || lookups >= kMaxLookups) return;
        const float middle = a.value + (b.value - a.value) / 2.0f;
        if (middle <= a.value || middle >= b.value) return;
        const auto shown = At(middle);
        if (!shown) return;
        Consider(*shown);
        if (wanted.MayLieBetween(a, *shown)) Halve(a, *shown, depth - 1);
        if (wanted.MayLieBetween(*shown, b)) Halve(*shown, b, depth - 1);
    }

    ProbeInstance& probe;
    VstInt32 index;
    const Wanted& wanted;
    int failuresBefore;
    std::vector<Shown> sweep;
    std::optional<Shown> best;
    double bestDistance = 0.0;
    bool found = false;  // the text itself or exactly its number, not only a number close by
    int lookups = 0;
};

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
    std::vector<VstInt32> exact, caseless;
    for (VstInt32 i = 0; i < count; ++i) {
        const std::string name = session.Text(effGetParamName, i);
        const std::string_view trimmed = Trim(name);
        if (trimmed == wanted) exact.push_back(i);
        if (EqualIgnoringCase(trimmed, wanted)) caseless.push_back(i);
    }
    for (const std::vector<VstInt32>* matches : {&exact, &caseless}) {
        if (matches->size() == 1) return matches->front();
        if (matches->size() > 1)
            throw HostError(ExitCode::Parameter, "parameter name " + Quoted(wanted) + " is ambiguous: parameters " +
                                                     Indices(*matches) + " have it; give an index instead");
    }
    return -1;
}

ParameterSetter::ParameterSetter(const HostSession& session)
    : session(session), probe(std::make_unique<ProbeInstance>(session)) {}

ParameterSetter::~ParameterSetter() = default;

float ParameterSetter::Resolve(VstInt32 index, std::string_view value, ValueForm form) {
    const std::string_view text = Trim(value);
    const std::string name(Trim(session.Text(effGetParamName, index)));
    const std::optional<double> number = PlainNumber(text);
    const bool inRange = number && *number >= 0.0 && *number <= 1.0;
    if (form == ValueForm::Normalised) {
        if (!number)
            throw HostError(ExitCode::Usage, "--set-normalised wants a number from 0 to 1, not " + Quoted(text));
        if (!inRange)
            throw HostError(ExitCode::Parameter, "value " + std::string(text) + " for parameter " + Quoted(name) +
                                                     " is out of range: a normalised value lies between 0 and 1");
        return static_cast<float>(*number);
    }

    // The value the parameter shows already is kept as it is, and needs no
    // search: the plug-in may throw at others.
    const float current = session.GetParameter(index);
    const Wanted wanted(text);
    std::optional<Shown> shown =
        probe->Try([&](const HostSession& instance) { return ShownNow(instance, index, current); });
    if (shown && !wanted.ShownExactly(*shown)) shown.reset();
    TextSearch search(*probe, index, wanted);
    if (!shown) {
        shown = search.Find();
        probe->Follow(index, current);
    }

    if (form == ValueForm::Either && inRange) {
        if (!shown || std::abs(shown->value - *number) <= kNumberTolerance) return static_cast<float>(*number);
        throw HostError(ExitCode::Parameter,
                        "--set " + Quoted(name + "=" + std::string(text)) + " could mean two values: parameter " +
                            Quoted(name) + " shows " + Quoted(shown->Text()) + " at normalised " +
                            Normalised(shown->value) + ", and " + std::string(text) +
                            " is a normalised value itself; say --set-text or --set-normalised");
    }
    if (shown) return shown->value;
    if (form == ValueForm::Either && number)
        throw HostError(ExitCode::Parameter, "value " + std::string(text) + " for parameter " + Quoted(name) +
                                                 " is out of range: a normalised value lies between 0 and 1, and the " +
                                                 "parameter never shows " + Quoted(text));
    const std::vector<Shown>& sweep = search.Sweep();
    std::string message = "parameter " + Quoted(name) + " never shows " + Quoted(text);
    if (!sweep.empty())
        message += " (it shows " + Quoted(Trim(sweep.front().display)) + " to " + Quoted(Trim(sweep.back().display)) + ")";
    if (search.Skipped() > 0)
        message += "; the plug-in threw for " + std::to_string(search.Skipped()) + " of the values tried, which were skipped";
    if (form == ValueForm::Either) message += "; give one of its display texts or a normalised value from 0 to 1";
    throw HostError(ExitCode::Parameter, message);
}

void ParameterSetter::Apply(std::string_view setting, ValueForm form) {
    for (std::size_t split = setting.find('='); split != std::string_view::npos;
         split = setting.find('=', split + 1)) {
        const VstInt32 index = FindParameter(session, setting.substr(0, split));
        if (index < 0) continue;
        const float value = Resolve(index, setting.substr(split + 1), form);
        session.SetParameter(index, value);
        probe->Follow(index, value);
        return;
    }
    const std::size_t split = setting.find('=');
    if (split == std::string_view::npos)
        throw HostError(ExitCode::Usage,
                        std::string(OptionName(form)) + " wants NAME=VALUE or INDEX=VALUE, not " + Quoted(setting));
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

void ApplySetting(const HostSession& session, std::string_view setting, ValueForm form) {
    ParameterSetter(session).Apply(setting, form);
}
