// A host's whole use of the library, many times over: load it, then create,
// open, resume, process, save, load and close one instance after another,
// and unload it. Run under valgrind (`./run valgrind`) it must show no memory
// error and lose nothing. Arguments: [instances] (200).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "plugin_under_test.h"

namespace {

constexpr int kChannels = 16;

// Where output 1 and output 2 take their samples from: input channel
// numbers (0-based), -1 for silence, -2 for anything else.
template <class Sample>
std::pair<int, int> Sources(PluginInstance& plugin) {
    AudioBuffers<Sample> buffers(kChannels, 64);
    for (int c = 0; c < kChannels; ++c)
        for (int j = 0; j < 64; ++j) buffers.in[c][j] = Sample(c + 1 + kChannels * j);
    buffers.Process(plugin.effect);
    int found[2] = {-1, -1};
    for (int o = 0; o < 2; ++o) {
        found[o] = buffers.out[o][0] == 0 ? -1 : int(buffers.out[o][0]) - 1;
        for (int j = 0; j < 64; ++j) {
            const Sample expected = found[o] < 0 ? Sample(0) : buffers.in[found[o]][j];
            if (buffers.out[o][j] != expected) found[o] = -2;
        }
    }
    for (int c = 2; c < kChannels; ++c)
        for (int j = 0; j < 64; ++j)
            if (buffers.out[c][j] != 0) found[0] = -2;
    return {found[0], found[1]};
}

bool RunInstance(int i) {
    PluginInstance plugin(i % 3 == 0 ? "VSTPluginMain" : i % 3 == 1 ? "main" : "MAIN");
    if (!plugin.effect) return false;
    plugin.Start(44100.0f + float(i), 64 + i);
    const int first = i % 17, second = (i * 7) % 17;
    plugin.SetParameter(0, float(first) / 16.0f);
    plugin.SetParameter(1, float(second) / 16.0f);
    const std::pair<int, int> expected(first == 16 ? -1 : first, second == 16 ? -1 : second);
    if (Sources<float>(plugin) != expected || Sources<double>(plugin) != expected) return false;

    const std::vector<unsigned char> state = plugin.SaveState();
    if (state.size() != 260) return false;
    plugin.SetParameter(0, 1.0f);
    plugin.SetParameter(1, 0.0f);
    if (plugin.LoadState(state) != 260) return false;
    if (Sources<double>(plugin) != expected || plugin.SaveState() != state) return false;

    plugin.Dispatch(effMainsChanged, 0, 0);
    return plugin.Dispatch(effClose) == 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int instances = argc > 1 ? std::atoi(argv[1]) : 200;
    TestHost host;
    host.record = false;
    for (int i = 0; i < instances; ++i) {
        if (!RunInstance(i)) {
            std::fprintf(stderr, "instance %d misbehaved\n", i);
            return 1;
        }
    }
    std::printf("%d instances created, opened, resumed, processed, saved, loaded and closed\n", instances);
    return 0;
}
