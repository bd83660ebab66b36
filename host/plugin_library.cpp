#include "plugin_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path, std::string& error) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(reinterpret_cast<void*>(module), path));
#else
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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
