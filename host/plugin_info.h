// What `vsthost info` reports about a plug-in, as text or as JSON.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host_session.h"
#include "parameters.h"

struct PluginInfo {
    std::string path;
    std::string effectName, productName, vendorName;
    VstInt32 vendorVersion = 0;
    VstInt32 uniqueId = 0;
    VstInt32 version = 0;  // the record's own version field
    VstIntPtr vstVersion = 0;
    VstIntPtr category = 0;
    VstInt32 inputs = 0, outputs = 0, programs = 0;
    // Many plug-ins know their delay only once they process: absent for one
    // that cannot process.
    VstInt32 initialDelay = 0;
    std::optional<VstInt32> delayAfterBlock;
    VstInt32 flags = 0;
    std::vector<ParameterInfo> parameters;
    std::vector<std::pair<std::string, VstIntPtr>> canDo;
    // Absent when the plug-in keeps no state chunk.
    std::optional<std::size_t> programChunkSize, bankChunkSize;
};

// Processes one block of silence last, for the delay after it.
PluginInfo DescribePlugin(HostSession& session);
std::vector<std::string> FlagNames(VstInt32 flags);
std::string FormatInfoText(const PluginInfo& info);
std::string FormatInfoJson(const PluginInfo& info);
// JSON string literal for text from a plug-in, which need not be UTF-8.
std::string JsonString(const std::string& text);
