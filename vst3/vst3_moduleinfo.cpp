// Writes the bundle's Contents/Resources/moduleinfo.json, which hosts read to
// list the plug-in without loading it, from the same description the
// factory answers with: the effect's name, vendor and version, the class ids
// and categories.
//   vst3_moduleinfo OUT.json
#include <cstdio>
#include <string>
#include <string_view>

#include "patcher_plugin.h"
#include "vst2_migration.h"
#include "vst3_ids.h"
#include "vst3_plugin.h"

namespace {

// A JSON string literal: quotes, backslashes and control characters escaped.
std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// As hosts print a class id: its four words in hexadecimal.
std::string Printed(const TVst3ClassId& id) {
    char text[33];
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X", id.Words[0], id.Words[1], id.Words[2], id.Words[3]);
    return text;
}

// "A|B" as ["A", "B"].
std::string List(std::string_view categories) {
    std::string list = "[";
    while (!categories.empty()) {
        const std::size_t bar = categories.find('|');
        if (list.size() > 1) list += ", ";
        list += Quoted(categories.substr(0, bar));
        categories = bar == std::string_view::npos ? std::string_view{} : categories.substr(bar + 1);
    }
    return list + "]";
}

std::string Class(const TVst3ClassId& id, const char* category, const char* subCategories) {
    return "    {\n"
           "      \"CID\": " + Quoted(Printed(id)) + ",\n"
           "      \"Category\": " + Quoted(category) + ",\n"
           "      \"Name\": " + Quoted(CPatcherPlugin::Name()) + ",\n"
           "      \"Vendor\": " + Quoted(CPatcherPlugin::Vendor()) + ",\n"
           "      \"Version\": " + Quoted(CPatcherPlugin::Version()) + ",\n"
           "      \"SDKVersion\": " + Quoted(vst3::kSdkVersion) + ",\n"
           "      \"Sub Categories\": " + List(subCategories) + ",\n"
           "      \"Class Flags\": " + std::to_string(kVst3Distributable) + ",\n"
           "      \"Cardinality\": " + std::to_string(kVst3ManyInstances) + ",\n"
           "      \"Snapshots\": []\n"
           "    }";
}

// Hosts that find the VST 2 plug-in in a project look for this id and hand
// the processor the VST 2 plug-in's saved state.
TVst3ClassId Vst2ReplacedClass() { return vst3::Vst2ClassId(vst3::kVst2UniqueId, CPatcherPlugin::Name()); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vst3_moduleinfo OUT.json\n");
        return 2;
    }
    const std::string json = "{\n"
                             "  \"Name\": \"multichannel_patcher\",\n"
                             "  \"Version\": " + Quoted(CPatcherPlugin::Version()) + ",\n"
                             "  \"Factory Info\": {\n"
                             "    \"Vendor\": " + Quoted(CPatcherPlugin::Vendor()) + ",\n"
                             "    \"URL\": \"\",\n"
                             "    \"E-Mail\": \"\",\n"
                             "    \"Flags\": {\n"
                             "      \"Unicode\": true,\n"
                             "      \"Classes Discardable\": false,\n"
                             "      \"Component Non Discardable\": false\n"
                             "    }\n"
                             "  },\n"
                             "  \"Compatibility\": [\n"
                             "    {\n"
                             "      \"New\": " + Quoted(Printed(kVst3ProcessorClass)) + ",\n"
                             "      \"Old\": [" + Quoted(Printed(Vst2ReplacedClass())) + "]\n"
                             "    }\n"
                             "  ],\n"
                             "  \"Classes\": [\n" +
                             Class(kVst3ProcessorClass, vst3::kProcessorCategory, vst3::kSubCategories) + ",\n" +
                             Class(kVst3ControllerClass, vst3::kControllerCategory, "") + "\n  ]\n}\n";
    std::FILE* file = std::fopen(argv[1], "wb");
    const bool written = file && std::fwrite(json.data(), 1, json.size(), file) == json.size();
    if (!file || std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "vst3_moduleinfo: cannot write %s\n", argv[1]);
        return 4;
    }
    return 0;
}
