#include "block_renderer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "host_error.h"

namespace {

template <class Sample>
void Allocate(std::vector<std::vector<Sample>>& buffers, std::vector<Sample*>& pointers, int channels,
              VstInt32 frames) {
    // Never empty: some plug-ins read the first pointer whatever they declare.
    buffers.assign(static_cast<std::size_t>(std::max(channels, 1)), std::vector<Sample>(static_cast<std::size_t>(frames)));
    pointers.clear();
    for (auto& buffer : buffers) pointers.push_back(buffer.data());
}

}  // namespace

BlockRenderer::BlockRenderer(HostSession& session, double sampleRate, VstInt32 blockSize, bool doublePrecision)
    : session(session), blockSize(blockSize), doublePrecision(doublePrecision) {
    if (blockSize <= 0) throw std::invalid_argument("block size must be positive");
    const AEffect* effect = session.Effect();
    const bool canProcess = doublePrecision ? session.HasFlag(effFlagsCanDoubleReplacing) && effect->processDoubleReplacing
                                            : (session.HasFlag(effFlagsCanReplacing) && effect->processReplacing) || effect->process;
    if (!canProcess)
        throw HostError(ExitCode::Audio, std::string("the plug-in has no ") +
                                             (doublePrecision ? "double-precision " : "") + "processing");
    if (doublePrecision) {
        Allocate(doubleIns, doubleInPtrs, effect->numInputs, blockSize);
        Allocate(doubleOuts, doubleOutPtrs, effect->numOutputs, blockSize);
    } else {
        Allocate(floatIns, floatInPtrs, effect->numInputs, blockSize);
        Allocate(floatOuts, floatOutPtrs, effect->numOutputs, blockSize);
    }
    session.Restart(sampleRate, blockSize, doublePrecision);
}

void BlockRenderer::Process(const double* in, int inChannels, double* out, int outChannels, long frames) {
    const AEffect* effect = session.Effect();
    if (inChannels < 0 || inChannels > effect->numInputs || outChannels < 0 || outChannels > effect->numOutputs)
        throw std::invalid_argument("more channels than the plug-in has");
    for (long done = 0; done < frames; done += blockSize) {
        const auto n = static_cast<VstInt32>(std::min<long>(blockSize, frames - done));
        const double* blockIn = in + done * inChannels;
        double* blockOut = out + done * outChannels;
        if (doublePrecision)
            ProcessBlock(doubleIns, doubleInPtrs, doubleOuts, doubleOutPtrs, blockIn, inChannels, blockOut,
                         outChannels, n);
        else
            ProcessBlock(floatIns, floatInPtrs, floatOuts, floatOutPtrs, blockIn, inChannels, blockOut, outChannels,
                         n);
    }
}

template <class Sample>
void BlockRenderer::ProcessBlock(std::vector<std::vector<Sample>>& ins, std::vector<Sample*>& inPtrs,
                                 std::vector<std::vector<Sample>>& outs, std::vector<Sample*>& outPtrs,
                                 const double* in, int inChannels, double* out, int outChannels, VstInt32 frames) {
    for (std::size_t c = 0; c < ins.size(); ++c) {
        Sample* channel = ins[c].data();
        if (static_cast<int>(c) < inChannels)
            for (VstInt32 j = 0; j < frames; ++j) channel[j] = static_cast<Sample>(in[j * inChannels + static_cast<int>(c)]);
        else
            std::fill(channel, channel + frames, Sample(0));
    }
    // Cleared for plug-ins that only have the accumulating process call.
    for (auto& channel : outs) std::fill(channel.begin(), channel.begin() + frames, Sample(0));
    session.Process(inPtrs.data(), outPtrs.data(), frames);
    for (int c = 0; c < outChannels; ++c) {
        const Sample* channel = outs[static_cast<std::size_t>(c)].data();
        for (VstInt32 j = 0; j < frames; ++j) out[j * outChannels + c] = channel[j];
    }
}
