// An LV2 host for the tests: the bundle loaded through lilv, the library
// hosts load it with, and instances with buffers of their own.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include "lv2_ports.h"

namespace lv2_host {

constexpr int kLv2Channels = static_cast<int>(lv2_ports::kChannels);

class UridMap {
public:
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
        auto& ids = static_cast<UridMap*>(handle)->ids;
        return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
    }
    LV2_URID operator()(const char* uri) { return Map(this, uri); }
    LV2_URID_Map map{this, Map};

private:
    std::map<std::string, LV2_URID> ids;
};

// The bundle loaded once for the whole program.
struct Bundle {
    Bundle() : world(lilv_world_new()) {
        const char* path = std::getenv("LV2_BUNDLE_PATH");
        std::string dir = std::filesystem::absolute(path && *path ? path : LV2_BUNDLE_DIR).string();
        if (dir.back() != '/') dir += '/';
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, dir.c_str());
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), Uri(lv2_ports::kUri));
    }
    ~Bundle() {
        for (LilvNode* node : nodes) lilv_node_free(node);
        lilv_world_free(world);
    }
    // Freed with the world.
    LilvNode* Uri(const char* uri) { return nodes.emplace_back(lilv_new_uri(world, uri)); }

    LilvWorld* world;
    const LilvPlugin* plugin;
    std::vector<LilvNode*> nodes;
};

inline Bundle& Loaded() {
    static Bundle bundle;
    return bundle;
}

// Tests that instantiate start with this: lilv crashes on a missing plug-in.
inline testing::AssertionResult PluginFound() {
    if (Loaded().plugin) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "no " << lv2_ports::kUri << " in the bundle";
}

// One node from lilv, freed at the end of the expression's scope.
struct Node {
    explicit Node(LilvNode* node) : node(node) {}
    ~Node() { lilv_node_free(node); }
    Node(const Node&) = delete;
    LilvNode* node;
};

// An instance with its own inputs and outputs and both control ports
// connected; the time port only when a test connects it.
class Instance {
public:
    explicit Instance(const LV2_Feature* const* features = kNoFeatures, std::uint32_t frames = 4096)
        : instance(lilv_plugin_instantiate(Loaded().plugin, 48000.0, features)),
          in(kLv2Channels, std::vector<float>(frames)),
          out(kLv2Channels, std::vector<float>(frames)) {
        for (std::uint32_t c = 0; c < kLv2Channels; ++c) {
            Connect(lv2_ports::kFirstInput + c, in[c].data());
            Connect(lv2_ports::kFirstOutput + c, out[c].data());
        }
        for (std::uint32_t p = 0; p < lv2_ports::kControls; ++p) Connect(lv2_ports::kFirstControl + p, &control[p]);
        lilv_instance_activate(instance);
    }
    ~Instance() {
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    void Connect(std::uint32_t port, void* data) { lilv_instance_connect_port(instance, port, data); }
    // Tagged inputs: 1000·(c+1) + frame, and NaN and infinities where asked.
    void Fill(std::uint32_t frames, bool oddValues = false) {
        for (int c = 0; c < kLv2Channels; ++c)
            for (std::uint32_t j = 0; j < frames; ++j)
                in[c][j] = oddValues && j % 5 == 2 ? (c % 2 ? kNaN : -kInf) : Tone(c, j);
    }
    static constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    static constexpr float kInf = std::numeric_limits<float>::infinity();
    static float Tone(int c, std::uint32_t j) { return static_cast<float>(1000 * (c + 1)) + static_cast<float>(j); }
    void Run(std::uint32_t frames) { lilv_instance_run(instance, frames); }

    static constexpr const LV2_Feature* kNoFeatures[] = {nullptr};
    LilvInstance* instance;
    std::vector<std::vector<float>> in, out;
    float control[lv2_ports::kControls] = {0.0f, 1.0f};
};

}  // namespace lv2_host
