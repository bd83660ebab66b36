// Opens a plug-in library and finds its entry point, the same way on
// every platform: dlopen/dlsym on POSIX, LoadLibrary/GetProcAddress on Windows.
#pragma once

#include <memory>
#include <string>

#include "vst2.h"

using PluginEntryPoint = AEffect*(VSTCALLBACK*)(audioMasterCallback host);

class PluginLibrary {
public:
    // Null with a message in `error` when the file cannot be loaded. `path`
    // is a file, relative to the working directory or absolute, never a
    // name for the system's library search.
    static std::unique_ptr<PluginLibrary> Open(const std::string& path, std::string& error);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // The address of an exported symbol, function or data, by name; or null.
    void* Symbol(const char* name) const;
    // An exported function by name, or null.
    PluginEntryPoint Entry(const char* name) const;
    // The first of VSTPluginMain, main and MAIN that the library exports, or null.
    PluginEntryPoint FindEntryPoint() const;

    const std::string& Path() const { return path; }

private:
    PluginLibrary(void* handle, std::string path) : handle(handle), path(std::move(path)) {}

    void* handle;
    std::string path;
};
