// Feeds interleaved audio through a plug-in block by block. The channel
// buffers are sized once, so processing allocates nothing.
#pragma once

#include <functional>
#include <vector>

#include "host_session.h"

// Where a render's frames come from and go, interleaved. `read` fills up to
// `count` frames and returns how many: fewer only at the end of the input.
struct FrameSource {
    std::function<long(double* frames, long count)> read;
    std::function<void(const double* frames, long count)> write;
};

struct StreamOptions {
    bool compensateDelay = true;
    long long tailFrames = 0;  // silence fed after the input
};

// Whether the plug-in has the process call a BlockRenderer would use.
bool CanProcess(const HostSession& session, bool doublePrecision);

class BlockRenderer {
public:
    // Restarts the session at `sampleRate` with this block size and precision.
    BlockRenderer(HostSession& session, double sampleRate, VstInt32 blockSize, bool doublePrecision);

    // `in` holds frames x inChannels samples (inChannels up to the plug-in's
    // inputs; the others get silence); `out` receives frames x outChannels
    // samples from the plug-in's first outChannels outputs.
    void Process(const double* in, int inChannels, double* out, int outChannels, long frames);

    // Feeds the whole input through the plug-in and writes as many frames as
    // the input has, plus the tail. Compensating, it reads the plug-in's
    // delay again after each block and lines the output up with the input,
    // feeding silence for as long as the delay. Returns the frames written.
    long long Stream(int inChannels, int outChannels, const FrameSource& frames, const StreamOptions& options);

private:
    template <class Sample>
    void ProcessBlock(std::vector<std::vector<Sample>>& ins, std::vector<Sample*>& inPtrs,
                      std::vector<std::vector<Sample>>& outs, std::vector<Sample*>& outPtrs, const double* in,
                      int inChannels, double* out, int outChannels, VstInt32 frames);

    HostSession& session;
    VstInt32 blockSize;
    bool doublePrecision;
    std::vector<std::vector<float>> floatIns, floatOuts;
    std::vector<float*> floatInPtrs, floatOutPtrs;
    std::vector<std::vector<double>> doubleIns, doubleOuts;
    std::vector<double*> doubleInPtrs, doubleOutPtrs;
};
