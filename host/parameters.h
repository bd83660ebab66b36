// Parameters by index, name or display text, as a user names them on the
// command line.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host_session.h"

struct ParameterInfo {
    VstInt32 index;
    std::string name;
    std::string label;
    std::string display;
    float value;
};

ParameterInfo DescribeParameter(const HostSession& session, VstInt32 index);
std::vector<ParameterInfo> ListParameters(const HostSession& session);

// The parameter a user means by an index or a name (exact, else ignoring
// case), or -1. Throws HostError(Parameter) for a name that several
// parameters share, naming their indices.
VstInt32 FindParameter(const HostSession& session, std::string_view key);

// How a VALUE is read: --set, --set-text and --set-normalised.
enum class ValueForm {
    Either,      // a display text, or a number from 0 to 1 that the parameter never shows
    Text,        // a display text only (with or without the label; numbers compare as numbers)
    Normalised,  // a number from 0 to 1 only
};

class ProbeInstance;

// Sets parameters as the command line names them. Display texts are looked
// up on a second instance of the plug-in kept in the same state, so the
// instance that renders receives nothing but the values chosen. An instance
// that throws during a look-up is replaced by a fresh one.
class ParameterSetter {
public:
    explicit ParameterSetter(const HostSession& session);
    ~ParameterSetter();
    ParameterSetter(const ParameterSetter&) = delete;
    ParameterSetter& operator=(const ParameterSetter&) = delete;

    // "NAME=VALUE" or "INDEX=VALUE". Names and display texts may hold '='
    // themselves: the first split whose left side names a parameter wins.
    void Apply(std::string_view setting, ValueForm form = ValueForm::Either);

    // The normalised value that VALUE means for the parameter: the current
    // one if the parameter shows VALUE already. Throws HostError when nothing
    // fits, or when the short form could mean both a display text and another
    // normalised value.
    float Resolve(VstInt32 index, std::string_view value, ValueForm form);

private:
    const HostSession& session;
    std::unique_ptr<ProbeInstance> probe;
};

// One setting, with a second instance of its own for the look-up.
void ApplySetting(const HostSession& session, std::string_view setting, ValueForm form = ValueForm::Either);
