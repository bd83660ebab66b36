// Audio files through libsndfile: rendering a file through a plug-in, and
// writing and analysing the demo's tone files. Builds without libsndfile
// leave this out.
#pragma once

#include <string>
#include <vector>

#include "host_session.h"
#include "tones.h"

struct RenderRequest {
    std::string input, output;
    VstInt32 blockSize = 512;
    bool doublePrecision = false;
    int outputs = 0;  // the plug-in's first N outputs; 0 keeps all
    std::string format = "float";
    bool progress = true;  // on stderr, if a terminal, once the render takes long
    bool compensateDelay = true;
    double tailSeconds = 0.0;
};

// Sample formats that --format accepts, for messages.
std::string KnownSampleFormats();

void RenderFile(HostSession& session, const RenderRequest& request);
void WriteToneFile(const std::string& path, int channels, double sampleRate, double seconds);

struct FileAnalysis {
    int channels;
    double sampleRate;
    long frames;
    std::vector<ChannelContent> content;  // one per channel
};
FileAnalysis AnalyseFile(const std::string& path, int tones);
