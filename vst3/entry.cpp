// The library's entry points. Nothing to set up or tear down: the factory is
// there while the library is loaded, whatever entry and exit calls a host
// makes, paired or not.
#include "vst3_plugin.h"

#if defined(_WIN32)
#define VST3_EXPORT
#else
#define VST3_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

VST3_EXPORT TVst3PluginFactory* GetPluginFactory() { return Vst3Factory(); }

#if defined(_WIN32)
VST3_EXPORT bool InitDll() { return true; }
VST3_EXPORT bool ExitDll() { return true; }
#elif defined(__APPLE__)
// The argument is the host's CFBundleRef of the bundle, not needed here.
VST3_EXPORT bool bundleEntry(void*) { return true; }
VST3_EXPORT bool bundleExit() { return true; }
#else
VST3_EXPORT bool ModuleEntry(void*) { return true; }
VST3_EXPORT bool ModuleExit() { return true; }
#endif
}
