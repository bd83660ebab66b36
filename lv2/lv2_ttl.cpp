// Writes the bundle's manifest.ttl and plug-in TTL from the effect's own
// description, at build time, so that what hosts read cannot drift from the
// code: names, ranges, defaults, value names, the version.
//   lv2_ttl BUNDLE_DIR BINARY_NAME [VERSION]
// VERSION, the project's own by default, lets a test see what other
// releases would tell hosts.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "lv2_ports.h"
#include "patcher_plugin.h"
#include "ttl_string.h"

namespace {

std::string Number(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", x);
    return text;
}

// "routed to channel 1" -> "routed_to_channel_1": LV2 symbols are C identifiers.
std::string Symbol(const std::string& name) {
    // A leading underscore where the name starts with a digit; appended, as
    // GCC 12 reports a false -Wrestrict on inserting at the front.
    std::string symbol = name.empty() || std::isdigit(static_cast<unsigned char>(name[0])) ? "_" : "";
    for (unsigned char c : name) symbol += std::isalnum(c) ? static_cast<char>(std::tolower(c)) : '_';
    return symbol;
}

std::string Uri(const std::string& fragment = "") {
    return "<" + std::string(lv2_ports::kUri) + (fragment.empty() ? "" : "#" + fragment) + ">";
}

// Each port's properties, without the brackets that hold them.
using Ports = std::vector<std::string>;

void AudioPorts(Ports& ports, const std::string& direction, std::uint32_t first, const std::string& symbol,
                const std::string& name, const std::string& group) {
    for (std::uint32_t c = 0; c < lv2_ports::kChannels; ++c) {
        std::ostringstream port;
        port << "\t\ta lv2:AudioPort , lv2:" << direction << "Port ;\n"
             << "\t\tlv2:index " << first + c << " ;\n"
             << "\t\tlv2:symbol " << TtlString(symbol + "_" + std::to_string(c + 1)) << " ;\n"
             << "\t\tlv2:name " << TtlString(name + " " + std::to_string(c + 1)) << " ;\n"
             << "\t\tpg:group " << Uri(group) << " ;\n";
        ports.push_back(port.str());
    }
}

// Fails, with a message, on a description this bundle cannot express.
bool ControlPort(Ports& ports, std::int32_t parameter) {
    const TPatcherParameter& slider = *CPatcherPlugin::ParameterInfo(parameter);
    const bool integer = slider.Step == 1.0 && slider.Min == static_cast<std::int64_t>(slider.Min);
    const auto steps = static_cast<std::size_t>((slider.Max - slider.Min) / slider.Step + 0.5) + 1;
    if (!slider.Choices.empty() && (!integer || slider.Choices.size() != steps)) {
        std::fprintf(stderr, "lv2_ttl: \"%s\" names values that are not its integer steps\n", slider.Name.c_str());
        return false;
    }
    std::ostringstream out;
    out << "\t\ta lv2:ControlPort , lv2:InputPort ;\n"
        << "\t\tlv2:index " << lv2_ports::kFirstControl + static_cast<std::uint32_t>(parameter) << " ;\n"
        << "\t\tlv2:symbol " << TtlString(Symbol(slider.Name)) << " ;\n"
        << "\t\tlv2:name " << TtlString(slider.Name) << " ;\n"
        << "\t\tlv2:default " << Number(slider.Default) << " ;\n"
        << "\t\tlv2:minimum " << Number(slider.Min) << " ;\n"
        << "\t\tlv2:maximum " << Number(slider.Max) << " ;\n";
    if (integer) out << "\t\tlv2:portProperty lv2:integer" << (slider.Choices.empty() ? "" : " , lv2:enumeration") << " ;\n";
    for (std::size_t v = 0; v < slider.Choices.size(); ++v)
        out << "\t\tlv2:scalePoint [ rdfs:label " << TtlString(slider.Choices[v]) << " ; rdf:value "
            << Number(slider.Min + static_cast<double>(v)) << " ] ;\n";
    ports.push_back(out.str());
    return true;
}

// Hosts compare minor and micro only, take a minor of 0 for an experimental
// plug-in and odd numbers for development builds: MAJOR.MINOR.PATCH becomes
// minor 2 * (100 * MAJOR + MINOR), micro 2 * PATCH.
bool Lv2Version(const std::string& version, std::string& lv2) {
    unsigned long major = 0, minor = 0, patch = 0;
    int end = 0;
    if (std::sscanf(version.c_str(), "%lu.%lu.%lu%n", &major, &minor, &patch, &end) != 3 ||
        static_cast<std::size_t>(end) != version.size() || version[0] == '-' || minor >= 100 || major >= 10000000 ||
        patch >= 1000000000 || (major == 0 && minor == 0)) {
        std::fprintf(stderr, "lv2_ttl: version \"%s\" is not MAJOR.MINOR.PATCH with MINOR below 100\n",
                     version.c_str());
        return false;
    }
    lv2 = "\tlv2:minorVersion " + std::to_string(2 * (100 * major + minor)) + " ;\n\tlv2:microVersion " +
          std::to_string(2 * patch) + " ;\n";
    return true;
}

bool PluginTtl(std::ostream& out, const std::string& version) {
    if (CPatcherPlugin::ParameterCount() != static_cast<std::int32_t>(lv2_ports::kControls)) {
        std::fprintf(stderr, "lv2_ttl: the effect has %d parameters, the port layout %u\n",
                     CPatcherPlugin::ParameterCount(), lv2_ports::kControls);
        return false;
    }
    out << "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
           "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
           "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
           "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
           "@prefix log: <http://lv2plug.in/ns/ext/log#> .\n"
           "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
           "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
           "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
           "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
           "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
           "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";
    // LV2 names no channels for a 16-channel group, so the ports carry no
    // designation; the outputs are made from the inputs.
    out << Uri("inputs") << "\n\ta pg:InputGroup ;\n\tlv2:symbol " << TtlString("inputs") << " ;\n\tlv2:name "
        << TtlString("inputs") << " .\n\n"
        << Uri("outputs") << "\n\ta pg:OutputGroup ;\n\tlv2:symbol " << TtlString("outputs") << " ;\n\tlv2:name "
        << TtlString("outputs") << " ;\n\tpg:source " << Uri("inputs") << " .\n\n";
    out << Uri() << "\n"
        << "\ta lv2:Plugin , lv2:UtilityPlugin , doap:Project ;\n"
        << "\tdoap:name " << TtlString(CPatcherPlugin::Name()) << " ;\n"
        << "\tdoap:license <http://opensource.org/licenses/MIT> ;\n"
        << "\tdoap:maintainer [ foaf:name " << TtlString(CPatcherPlugin::Vendor()) << " ] ;\n"
        << version
        << "\tlv2:optionalFeature lv2:hardRTCapable , urid:map , opts:options , log:log ;\n"
        << "\topts:supportedOption bufsz:maxBlockLength , bufsz:nominalBlockLength ;\n"
        << "\tpg:mainInput " << Uri("inputs") << " ;\n"
        << "\tpg:mainOutput " << Uri("outputs") << " ;\n"
        << "\tlv2:port [\n";
    Ports ports;
    AudioPorts(ports, "Input", lv2_ports::kFirstInput, "in", "input channel", "inputs");
    AudioPorts(ports, "Output", lv2_ports::kFirstOutput, "out", "output channel", "outputs");
    for (std::int32_t p = 0; p < CPatcherPlugin::ParameterCount(); ++p)
        if (!ControlPort(ports, p)) return false;
    ports.push_back("\t\ta atom:AtomPort , lv2:InputPort ;\n"
                    "\t\tatom:bufferType atom:Sequence ;\n"
                    "\t\tatom:supports time:Position ;\n"
                    "\t\tlv2:index " + std::to_string(lv2_ports::kTime) + " ;\n"
                    "\t\tlv2:symbol \"time\" ;\n"
                    "\t\tlv2:name \"time position\" ;\n"
                    "\t\tlv2:portProperty lv2:connectionOptional ;\n");
    for (std::size_t i = 0; i < ports.size(); ++i) out << (i == 0 ? "" : "\t] , [\n") << ports[i];
    out << "\t] .\n";
    return true;
}

bool Write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) std::fprintf(stderr, "lv2_ttl: cannot write %s\n", path.c_str());
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: lv2_ttl BUNDLE_DIR BINARY_NAME [VERSION]\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const std::string binary = argv[2];
    const std::string ttl = binary.substr(0, binary.rfind('.')) + ".ttl";

    std::string version;
    if (!Lv2Version(argc == 4 ? argv[3] : CPatcherPlugin::Version(), version)) return 1;
    std::ostringstream plugin;
    if (!PluginTtl(plugin, version)) return 1;
    const std::string manifest = "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                                 "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n" +
                                 Uri() + "\n\ta lv2:Plugin ;\n" + version + "\tlv2:binary <" + binary +
                                 "> ;\n\trdfs:seeAlso <" + ttl + "> .\n";
    return Write(dir + "manifest.ttl", manifest) && Write(dir + ttl, plugin.str()) ? 0 : 1;
}
