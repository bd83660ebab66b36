// The plug-in's strict mode (effect/patcher_reporter.h) as the tests set it:
// CTest turns it on for the suites that drive the plug-ins, so that a test
// host that misbehaves fails its test; a test whose host misbehaves on
// purpose holds a StrictModeOff while it does.
#pragma once

#include <cstdlib>
#include <string>

inline void SetStrictMode(const char* value) {
#if defined(_WIN32)
    _putenv_s("MULTICHANNEL_PATCHER_STRICT", value);
#else
    setenv("MULTICHANNEL_PATCHER_STRICT", value, 1);
#endif
}

class StrictModeOff {
public:
    StrictModeOff() { SetStrictMode("0"); }
    ~StrictModeOff() { SetStrictMode(was.c_str()); }
    StrictModeOff(const StrictModeOff&) = delete;
    StrictModeOff& operator=(const StrictModeOff&) = delete;

private:
    const std::string was =
        std::getenv("MULTICHANNEL_PATCHER_STRICT") ? std::getenv("MULTICHANNEL_PATCHER_STRICT") : "";
};
