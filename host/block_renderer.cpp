#include "block_renderer.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>

#include "host_error.h"

namespace {

// Beyond this a reported delay is taken for nonsense rather than fed as silence.
constexpr int kMaxCompensatedDelaySeconds = 60;

template <class Sample>
void Allocate(std::vector<std::vector<Sample>>& buffers, std::vector<Sample*>& pointers, int channels,
              VstInt32 frames) {
    // Never empty: some plug-ins read the first pointer whatever they declare.
    buffers.assign(static_cast<std::size_t>(std::max(channels, 1)), std::vector<Sample>(static_cast<std::size_t>(frames)));
    pointers.clear();
    for (auto& buffer : buffers) pointers.push_back(buffer.data());
}

}  // namespace

bool CanProcess(const HostSession& session, bool doublePrecision) {
    const AEffect* effect = session.Effect();
    return doublePrecision ? session.HasFlag(effFlagsCanDoubleReplacing) && effect->processDoubleReplacing
                           : (session.HasFlag(effFlagsCanReplacing) && effect->processReplacing) || effect->process;
}

BlockRenderer::BlockRenderer(HostSession& session, double sampleRate, VstInt32 blockSize, bool doublePrecision)
    : session(session), blockSize(blockSize), doublePrecision(doublePrecision) {
    if (blockSize <= 0) throw std::invalid_argument("block size must be positive");
    const AEffect* effect = session.Effect();
    if (!CanProcess(session, doublePrecision))
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

long long BlockRenderer::Stream(int inChannels, int outChannels, const FrameSource& frames,
                                const StreamOptions& options) {
    const auto limit = static_cast<long>(kMaxCompensatedDelaySeconds * session.SampleRate());
    auto delay = [&] {
        if (!options.compensateDelay) return 0L;
        const long reported = std::max<long>(session.Effect()->initialDelay, 0);
        if (reported > limit)
            throw HostError(ExitCode::Audio, "the plug-in reports a delay of " + std::to_string(reported) +
                                                 " samples, more than the " + std::to_string(kMaxCompensatedDelaySeconds) +
                                                 " s vsthost compensates; --no-delay-compensation "
                                                 "writes its output as it comes");
        return reported;
    };
    std::vector<double> in(static_cast<std::size_t>(blockSize) * static_cast<std::size_t>(std::max(inChannels, 1)));
    std::vector<double> out(static_cast<std::size_t>(blockSize) * static_cast<std::size_t>(std::max(outChannels, 1)));
    const std::vector<double> silence(out.size());
    long long inputFrames = 0, written = 0;
    long skipped = 0;  // output frames dropped for the delay so far
    long latest = delay();
    bool inputEnded = false;
    for (;;) {
        long count = 0;
        if (!inputEnded) {
            count = frames.read(in.data(), blockSize);
            inputFrames += count;
            inputEnded = count < blockSize;
        }
        const long long wanted = inputEnded ? inputFrames + options.tailFrames : LLONG_MAX;
        if (count == 0) {
            if (written >= wanted) break;
            const long long owed = wanted - written + std::max(latest - skipped, 0L);
            count = static_cast<long>(std::min<long long>(blockSize, owed));
            std::fill(in.begin(), in.end(), 0.0);
        }
        Process(in.data(), inChannels, out.data(), outChannels, count);
        latest = delay();
        long from = 0;
        if (latest > skipped) {
            from = std::min(latest - skipped, count);
            skipped += from;
        }
        // A delay that shrinks leaves a gap: silence keeps what follows in line.
        while (latest < skipped && written < wanted) {
            const auto gap = static_cast<long>(std::min<long long>({skipped - latest, wanted - written, blockSize}));
            frames.write(silence.data(), gap);
            written += gap;
            skipped -= gap;
        }
        const long keep = static_cast<long>(std::min<long long>(count - from, wanted - written));
        if (keep > 0) frames.write(out.data() + static_cast<std::size_t>(from) * static_cast<std::size_t>(outChannels), keep);
        written += keep;
    }
    return written;
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
