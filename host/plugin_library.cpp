#include "plugin_library.h"

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// The loaders search their library paths for a bare name: an absolute path
// makes them take the file named, wherever the host runs.
std::string FilePath(const std::string& path) {
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    std::string file = absolute.empty() ? path : absolute.string();
#if defined(_WIN32)
    // Without an extension LoadLibrary would append ".dll"; a trailing dot stops it.
    if (!std::filesystem::path(file).has_extension()) file += '.';
#endif
    return file;
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path, std::string& error) {
    const std::string file = FilePath(path);
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(file.c_str());
    if (!module) {
        error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(reinterpret_cast<void*>(module), path));
#else
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* reason = dlerror();
        error = reason ? reason : "cannot load " + path;
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(module, path));
#endif
}

PluginLibrary::~PluginLibrary() {
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

void* PluginLibrary::Symbol(const char* name) const {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

PluginEntryPoint PluginLibrary::Entry(const char* name) const { return reinterpret_cast<PluginEntryPoint>(Symbol(name)); }

PluginEntryPoint PluginLibrary::FindEntryPoint() const {
    for (const char* name : {"VSTPluginMain", "main", "MAIN"})
        if (PluginEntryPoint entry = Entry(name)) return entry;
    return nullptr;
}
