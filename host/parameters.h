// Parameters by index, name or display text, as a user names them on the
// command line.
#pragma once

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

// The parameter a user means by an index or a name (exact, then ignoring
// case), or -1.
VstInt32 FindParameter(const HostSession& session, std::string_view key);

// The normalised value for VALUE: a display text the parameter shows (with or
// without its label, exact or ignoring case), else a number from 0 to 1.
// Throws HostError when neither fits; the parameter keeps its value.
float ResolveValue(const HostSession& session, VstInt32 index, std::string_view text);

// Applies "NAME=VALUE" or "INDEX=VALUE". Names and display texts may hold
// '=' themselves: the first split whose left side names a parameter wins.
void ApplySetting(const HostSession& session, std::string_view setting);
