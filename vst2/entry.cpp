// The library's entry points: join the effect, the callback table and the
// plug-in object, and hand the host the plug-in's record.
#include "patcher_effect.h"
#include "vest.h"
#include "vexil_callbacks.h"

#if defined(_WIN32)
#define VST_EXPORT
#else
#define VST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" VST_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host) {
    const TVeSTCallbacks callbacks = MakeVexilCallbacks<TVexilEffect>();
    auto* effect = new TVexilEffect;
    const auto parameters = static_cast<VstInt32>(effect->Sliders.size());
    CVeST* plugin = CVeST::Create(effect, callbacks, host, 1, parameters);
    if (!plugin) {
        // Refused by the host: nothing owns the effect, so it goes now.
        delete effect;
        return nullptr;
    }
    effect->AttachHost(plugin, &kVeSTHostServices);
    return plugin->getAeffect();
}

extern "C" VST_EXPORT AEffect* VSTCALLBACK MAIN(audioMasterCallback host) { return VSTPluginMain(host); }

#if defined(__APPLE__)
// Older Mac hosts look for "main_macho"; Mach-O has no aliases.
extern "C" VST_EXPORT AEffect* VSTCALLBACK main_macho(audioMasterCallback host) { return VSTPluginMain(host); }
#elif !defined(_WIN32)
// Older hosts look for "main". A C++ function cannot carry that name, so the
// symbol is an alias of VSTPluginMain; Windows builds export it by name instead.
extern "C" VST_EXPORT AEffect* VSTPluginMainAlias(audioMasterCallback host) __asm__("main")
    __attribute__((alias("VSTPluginMain")));
#endif
