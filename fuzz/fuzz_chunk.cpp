// Fuzz target: the input is a state chunk from anywhere, a project file, a
// preset or another plug-in. The plug-in loads it; then its saved state, its
// parameters and its routing must be what the model makes of the same bytes,
// and its own state must reload unchanged.
#include "fuzz_host.h"

using namespace fuzz_host;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LoadedPlugin();
    Host();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Host();
    PluginInstance plugin;
    plugin.Start();
    AEffect* effect = plugin.effect;

    // A copy of exactly the input's size, so that reading past it is caught.
    std::vector<unsigned char> chunk(data, data + size);
    const auto byteCount = static_cast<VstIntPtr>(size);
    Require(plugin.Dispatch(effSetChunk, 0, byteCount, chunk.data()) == byteCount,
            "a state load answers its byte count");

    routing_model::Model model;
    model.LoadState(data, size);
    const std::vector<unsigned char> saved = SaveState(effect);
    Require(saved == model.SaveState(), "the saved state holds the sliders the chunk restored");
    RequireFiniteParameters(effect);
    for (VstInt32 p : {0, 1})
        Require(Bits(effect->getParameter(effect, p)) == Bits(model.GetParameter(p)),
                "getParameter answers the restored sliders");

    static Audio<float> single;
    static Audio<double> twice;
    single.Process(effect, 16, false, ProbeSample<float>);
    single.RequireRouting(model);
    twice.Process(effect, 16, true, ProbeSample<double>);
    twice.RequireRouting(model);

    RequireStateRoundTrip(effect);
    Require(SaveState(effect) == saved, "a reloaded state saves the same bytes");
    return 0;
}
