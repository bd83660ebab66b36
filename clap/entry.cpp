// The library's entry: counts the host's init and deinit calls and hands out
// the factory of its one plug-in while initialised.
#include <atomic>
#include <cstring>

#include "clap_abi.h"
#include "clap_plugin.h"

#if defined(_WIN32)
#define CLAP_ENTRY_EXPORT
#else
#define CLAP_ENTRY_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// A host, and any plug-in in it that wraps this one, may each init the library.
std::atomic<int> initCount{0};

bool Initialised() { return initCount.load() > 0; }

bool CLAPCALL Init(const char*) {
    ++initCount;
    return true;
}

void CLAPCALL Deinit() {
    int count = initCount.load();
    while (count > 0 && !initCount.compare_exchange_weak(count, count - 1)) {
    }
}

std::uint32_t CLAPCALL PluginCount(const TClapPluginFactory*) { return Initialised() ? 1 : 0; }

const TClapPluginDescriptor* CLAPCALL PluginDescriptor(const TClapPluginFactory*, std::uint32_t index) {
    return Initialised() && index == 0 ? &CClapPlugin::Descriptor() : nullptr;
}

const TClapPlugin* CLAPCALL CreatePlugin(const TClapPluginFactory*, const TClapHost* host, const char* id) {
    if (!Initialised() || !host || !id || std::strcmp(id, CClapPlugin::kId) != 0) return nullptr;
    return CClapPlugin::Create(host);
}

constexpr TClapPluginFactory kFactory = {PluginCount, PluginDescriptor, CreatePlugin};

const void* CLAPCALL GetFactory(const char* id) {
    return Initialised() && id && std::strcmp(id, kClapPluginFactoryId) == 0 ? &kFactory : nullptr;
}

}  // namespace

extern "C" CLAP_ENTRY_EXPORT const TClapPluginEntry clap_entry = {kClapVersion, Init, Deinit, GetFactory};
