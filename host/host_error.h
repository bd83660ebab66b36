// The one kind of failure the host reports: a message for the user and the
// exit code the command line ends with.
#pragma once

#include <stdexcept>
#include <string>

enum class ExitCode : int {
    Usage = 2,      // the command line itself is wrong
    Plugin = 3,     // the library cannot be loaded or is no VST 2 plug-in
    File = 4,       // a file is missing, unreadable or cannot be written
    Preset = 5,     // a preset is corrupt, truncated or for another plug-in
    Parameter = 6,  // an unknown parameter, display text or out-of-range value
    Audio = 7,      // audio the plug-in cannot take, or rendering not built in
    PluginFailed = 8,  // the plug-in threw an exception or ended the process itself
    Unexpected = 9,    // vsthost's own failure: out of memory, or a fault of ours
};

class HostError : public std::runtime_error {
public:
    HostError(ExitCode code, const std::string& message) : std::runtime_error(message), code(code) {}
    ExitCode Code() const { return code; }

private:
    ExitCode code;
};
