// The library's entry: the factory of its one plug-in, there while the
// library is loaded.
#include <cstring>

#include "clap_abi.h"
#include "clap_plugin.h"

#if defined(_WIN32)
#define CLAP_ENTRY_EXPORT
#else
#define CLAP_ENTRY_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// Nothing to set up or tear down: wrappers and scanners that call init and
// deinit unpaired, or deinit twice, find the factory as it was.
bool CLAPCALL Init(const char*) { return true; }

void CLAPCALL Deinit() {}

std::uint32_t CLAPCALL PluginCount(const TClapPluginFactory*) { return 1; }

const TClapPluginDescriptor* CLAPCALL PluginDescriptor(const TClapPluginFactory*, std::uint32_t index) {
    if (index != 0) return nullptr;
    // Built on first use, which can run out of memory: then there is none yet.
    try {
        return &CClapPlugin::Descriptor();
    } catch (...) {
        return nullptr;
    }
}

const TClapPlugin* CLAPCALL CreatePlugin(const TClapPluginFactory*, const TClapHost* host, const char* id) {
    if (!host || !id || std::strcmp(id, CClapPlugin::kId) != 0) return nullptr;
    return CClapPlugin::Create(host);
}

constexpr TClapPluginFactory kFactory = {PluginCount, PluginDescriptor, CreatePlugin};

const void* CLAPCALL GetFactory(const char* id) {
    return id && std::strcmp(id, kClapPluginFactoryId) == 0 ? &kFactory : nullptr;
}

}  // namespace

extern "C" CLAP_ENTRY_EXPORT const TClapPluginEntry clap_entry = {kClapVersion, Init, Deinit, GetFactory};
