// Feeds interleaved audio through a plug-in block by block. The channel
// buffers are sized once, so processing allocates nothing.
#pragma once

#include <vector>

#include "host_session.h"

class BlockRenderer {
public:
    // Restarts the session at `sampleRate` with this block size and precision.
    BlockRenderer(HostSession& session, double sampleRate, VstInt32 blockSize, bool doublePrecision);

    // `in` holds frames x inChannels samples (inChannels up to the plug-in's
    // inputs; the others get silence); `out` receives frames x outChannels
    // samples from the plug-in's first outChannels outputs.
    void Process(const double* in, int inChannels, double* out, int outChannels, long frames);

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
