// The built VST 3 module, loaded through its exports and driven only as a
// host drives it: factory and class ids, interfaces and their counts, buses
// and arrangements, parameters and texts, routing in both precisions with
// any buffers, sample-accurate changes, state shared with the VST 2 and CLAP
// plug-ins, the controller's mirror of it, and the transport.
#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "block_transport.h"
#include "clap_host.h"
#include "patcher_effect.h"
#include "plugin_under_test.h"
#include "routed_outputs.h"
#include "routing_model.h"
#include "strict_mode.h"
#include "tagged_audio.h"
#include "vst3_host.h"
#include "vst3_plugin.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kNone = kRouteNone;
constexpr std::uint64_t kSilentOutputs = 0xFFFC;
const double kNan = std::numeric_limits<double>::quiet_NaN();
using routing_model::Chunk;

std::string Ascii(const TVst3Char16* text) {
    std::string ascii;
    for (; *text; ++text) ascii += static_cast<char>(*text);
    return ascii;
}

TVst3PluginFactory* Factory() { return Vst3Module::Loaded().Factory(); }

// The four words of an id as hosts print them, from its bytes in this platform's order.
std::string Printed(const char* bytes) {
    const int order[16] =
#if defined(_WIN32)
        {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
#else
        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
#endif
    std::string text;
    char hex[3];
    for (int i : order) {
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(bytes[i]));
        text += hex;
    }
    return text;
}

// ---------------------------------------------------------------------------
// Factory and classes

TEST(Vst3Factory, DescribesTheVendorAndTwoClasses) {
    TVst3PluginFactory* factory = Factory();
    TVst3FactoryInfo info{};
    ASSERT_EQ(factory->Vtbl->GetFactoryInfo(factory, &info), kVst3ResultOk);
    EXPECT_STREQ(info.Vendor, "Brindlefox");
    EXPECT_EQ(info.Flags, kVst3FactoryUnicode);
    EXPECT_EQ(factory->Vtbl->GetFactoryInfo(factory, nullptr), kVst3InvalidArgument);
    ASSERT_EQ(factory->Vtbl->CountClasses(factory), 2);

    // The ids are for ever: sessions and presets name the plug-in by them.
    const struct {
        const char* id;
        const char* category;
        const char* subCategories;
    } classes[] = {{"1CE2660702BE43A6BC5E2828D7F4E807", "Audio Module Class", "Fx|Tools"},
                   {"B990FE59B6D746F6ABB23169775DFD31", "Component Controller Class", ""}};
    for (int i = 0; i < 2; ++i) {
        TVst3ClassInfo basic{};
        TVst3ClassInfo2 info2{};
        TVst3ClassInfoW unicode{};
        ASSERT_EQ(factory->Vtbl->GetClassInfo(factory, i, &basic), kVst3ResultOk);
        ASSERT_EQ(factory->Vtbl->GetClassInfo2(factory, i, &info2), kVst3ResultOk);
        ASSERT_EQ(factory->Vtbl->GetClassInfoUnicode(factory, i, &unicode), kVst3ResultOk);
        EXPECT_EQ(Printed(basic.Cid), classes[i].id);
        EXPECT_EQ(std::memcmp(basic.Cid, info2.Cid, 16), 0);
        EXPECT_EQ(std::memcmp(basic.Cid, unicode.Cid, 16), 0);
        for (const char* category : {basic.Category, info2.Category, unicode.Category})
            EXPECT_STREQ(category, classes[i].category);
        EXPECT_STREQ(basic.Name, CPatcherPlugin::Name().c_str());
        EXPECT_STREQ(info2.Name, CPatcherPlugin::Name().c_str());
        EXPECT_EQ(Ascii(unicode.Name), CPatcherPlugin::Name());
        EXPECT_EQ(basic.Cardinality, kVst3ManyInstances);
        EXPECT_STREQ(info2.SubCategories, classes[i].subCategories);
        EXPECT_STREQ(unicode.SubCategories, classes[i].subCategories);
        EXPECT_STREQ(info2.Vendor, "Brindlefox");
        EXPECT_EQ(Ascii(unicode.Vendor), "Brindlefox");
        EXPECT_STREQ(info2.Version, CPatcherPlugin::Version());
        EXPECT_EQ(Ascii(unicode.Version), CPatcherPlugin::Version());
        EXPECT_EQ(unicode.ClassFlags, std::uint32_t(kVst3Distributable));
    }
    for (int index : {-1, 2, 1000}) {
        TVst3ClassInfoW info{};
        EXPECT_EQ(factory->Vtbl->GetClassInfoUnicode(factory, index, &info), kVst3InvalidArgument) << index;
    }
    EXPECT_EQ(factory->Vtbl->GetClassInfo2(factory, 0, nullptr), kVst3InvalidArgument);
}

TEST(Vst3Factory, AnswersItsInterfacesAndCountsThem) {
    TVst3PluginFactory* factory = Factory();
    for (const TVst3Uid* iid :
         {&kVst3UnknownIid, &kVst3PluginFactoryIid, &kVst3PluginFactory2Iid, &kVst3PluginFactory3Iid}) {
        void* object = nullptr;
        ASSERT_EQ(factory->Vtbl->QueryInterface(factory, iid->Bytes, &object), kVst3ResultOk);
        EXPECT_EQ(object, factory);
        const std::uint32_t count = factory->Vtbl->AddRef(factory);
        EXPECT_EQ(factory->Vtbl->Release(factory), count - 1);
        factory->Vtbl->Release(factory);
    }
    void* object = &object;
    EXPECT_EQ(factory->Vtbl->QueryInterface(factory, kVst3ComponentIid.Bytes, &object), kVst3NoInterface);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->Vtbl->QueryInterface(factory, kVst3UnknownIid.Bytes, nullptr), kVst3InvalidArgument);
    EXPECT_EQ(factory->Vtbl->SetHostContext(factory, nullptr), kVst3ResultOk);
}

TEST(Vst3Factory, CreatesEachClassWithTheInterfacesItHas) {
    TVst3PluginFactory* factory = Factory();
    const TVst3Uid processor = kVst3ProcessorClass.Uid(), controller = kVst3ControllerClass.Uid();
    const TVst3Uid unknownClass = Vst3Uid(1, 2, 3, 4);
    const struct {
        const TVst3Uid& cid;
        const TVst3Uid& iid;
        TVst3Result result;
    } cases[] = {
        {processor, kVst3UnknownIid, kVst3ResultOk},
        {processor, kVst3PluginBaseIid, kVst3ResultOk},
        {processor, kVst3ComponentIid, kVst3ResultOk},
        {processor, kVst3AudioProcessorIid, kVst3ResultOk},
        {processor, kVst3ProcessContextRequirementsIid, kVst3ResultOk},
        {processor, kVst3ConnectionPointIid, kVst3ResultOk},
        {processor, kVst3EditControllerIid, kVst3NoInterface},
        {controller, kVst3UnknownIid, kVst3ResultOk},
        {controller, kVst3PluginBaseIid, kVst3ResultOk},
        {controller, kVst3EditControllerIid, kVst3ResultOk},
        {controller, kVst3ConnectionPointIid, kVst3ResultOk},
        {controller, kVst3ComponentIid, kVst3NoInterface},
        {controller, kVst3AudioProcessorIid, kVst3NoInterface},
        {unknownClass, kVst3UnknownIid, kVst3NoInterface},
    };
    for (const auto& c : cases) {
        void* object = &object;
        ASSERT_EQ(factory->Vtbl->CreateInstance(factory, c.cid.Bytes, c.iid.Bytes, &object), c.result)
            << Printed(c.cid.Bytes) << " as " << Printed(c.iid.Bytes);
        if (c.result != kVst3ResultOk) {
            EXPECT_EQ(object, nullptr);
            continue;
        }
        // Created with the one reference the host holds.
        auto* unknown = static_cast<TVst3Unknown*>(object);
        EXPECT_EQ(unknown->Vtbl->AddRef(unknown), 2u);
        EXPECT_EQ(unknown->Vtbl->Release(unknown), 1u);
        EXPECT_EQ(unknown->Vtbl->Release(unknown), 0u);
    }
    EXPECT_EQ(factory->Vtbl->CreateInstance(factory, processor.Bytes, kVst3ComponentIid.Bytes, nullptr),
              kVst3InvalidArgument);
    void* object = nullptr;
    EXPECT_EQ(factory->Vtbl->CreateInstance(factory, nullptr, kVst3ComponentIid.Bytes, &object), kVst3NoInterface);
    EXPECT_EQ(factory->Vtbl->CreateInstance(factory, processor.Bytes, nullptr, &object), kVst3NoInterface);
}

// Each interface of an object leads to each other one, each answer counted.
TEST(Vst3Plugin, InterfacesLeadToEachOtherAndAreCounted) {
    Vst3Instance plugin;
    auto* component = reinterpret_cast<TVst3Unknown*>(plugin.component);
    auto* processor = reinterpret_cast<TVst3Unknown*>(plugin.processor);
    for (TVst3Unknown* from : {component, processor}) {
        const struct {
            const TVst3Uid& iid;
            void* expected;
        } faces[] = {{kVst3UnknownIid, component},
                     {kVst3ComponentIid, component},
                     {kVst3PluginBaseIid, component},
                     {kVst3AudioProcessorIid, processor},
                     {kVst3ProcessContextRequirementsIid, nullptr},
                     {kVst3ConnectionPointIid, nullptr}};
        for (const auto& face : faces) {
            const std::uint32_t before = from->Vtbl->AddRef(from) - 1;
            from->Vtbl->Release(from);
            void* object = nullptr;
            ASSERT_EQ(from->Vtbl->QueryInterface(from, face.iid.Bytes, &object), kVst3ResultOk);
            ASSERT_NE(object, nullptr);
            if (face.expected) {
                EXPECT_EQ(object, face.expected);
            }
            auto* answered = static_cast<TVst3Unknown*>(object);
            EXPECT_EQ(answered->Vtbl->Release(answered), before);
        }
        void* object = &object;
        EXPECT_EQ(from->Vtbl->QueryInterface(from, kVst3StreamIid.Bytes, &object), kVst3NoInterface);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(from->Vtbl->QueryInterface(from, kVst3ComponentIid.Bytes, nullptr), kVst3InvalidArgument);
    }
    void* object = nullptr;
    ASSERT_EQ(plugin.processor->Vtbl->QueryInterface(plugin.processor, kVst3ProcessContextRequirementsIid.Bytes,
                                                     &object),
              kVst3ResultOk);
    auto* requirements = static_cast<TVst3ProcessContextRequirements*>(object);
    EXPECT_EQ(requirements->Vtbl->GetProcessContextRequirements(requirements),
              kVst3NeedProjectTimeMusic | kVst3NeedTempo | kVst3NeedTimeSignature | kVst3NeedTransportState);
    requirements->Vtbl->Release(requirements);

    TVst3EditController* controller = plugin.controller;
    EXPECT_EQ(controller->Vtbl->QueryInterface(controller, kVst3ComponentIid.Bytes, &object), kVst3NoInterface);
    ASSERT_EQ(controller->Vtbl->QueryInterface(controller, kVst3PluginBaseIid.Bytes, &object), kVst3ResultOk);
    EXPECT_EQ(object, controller);
    EXPECT_EQ(controller->Vtbl->Release(controller), 1u);
    EXPECT_EQ(controller->Vtbl->CreateView(controller, "editor"), nullptr);
}

// ---------------------------------------------------------------------------
// Buses, arrangements, sample sizes

TEST(Vst3Plugin, HasOneMainAudioBusOf16ChannelsEachWay) {
    const StrictModeOff onPurpose;
    Vst3Instance plugin;
    TVst3Component* component = plugin.component;
    for (std::int32_t direction : {kVst3Input, kVst3Output}) {
        EXPECT_EQ(component->Vtbl->GetBusCount(component, kVst3Audio, direction), 1);
        EXPECT_EQ(component->Vtbl->GetBusCount(component, kVst3Event, direction), 0);
        TVst3BusInfo bus{};
        ASSERT_EQ(component->Vtbl->GetBusInfo(component, kVst3Audio, direction, 0, &bus), kVst3ResultOk);
        EXPECT_EQ(bus.MediaType, kVst3Audio);
        EXPECT_EQ(bus.Direction, direction);
        EXPECT_EQ(bus.ChannelCount, 16);
        EXPECT_EQ(bus.BusType, kVst3MainBus);
        EXPECT_EQ(bus.Flags, std::uint32_t(kVst3BusDefaultActive));
        EXPECT_EQ(Ascii(bus.Name), direction == kVst3Input ? "16 inputs" : "16 outputs");
        EXPECT_EQ(component->Vtbl->ActivateBus(component, kVst3Audio, direction, 0, 1), kVst3ResultOk);
        TVst3SpeakerArrangement arrangement = 0;
        ASSERT_EQ(plugin.processor->Vtbl->GetBusArrangement(plugin.processor, direction, 0, &arrangement),
                  kVst3ResultOk);
        EXPECT_EQ(std::popcount(arrangement), 16);
    }
    const struct {
        std::int32_t type, direction, index;
    } odd[] = {{kVst3Audio, kVst3Input, 1}, {kVst3Audio, kVst3Output, -1}, {kVst3Event, kVst3Input, 0},
               {kVst3Audio, 2, 0},          {7, kVst3Output, 0}};
    for (const auto& o : odd) {
        TVst3BusInfo bus{};
        TVst3SpeakerArrangement arrangement = 0;
        EXPECT_EQ(component->Vtbl->GetBusInfo(component, o.type, o.direction, o.index, &bus), kVst3InvalidArgument);
        EXPECT_EQ(component->Vtbl->ActivateBus(component, o.type, o.direction, o.index, 1), kVst3InvalidArgument);
        if (o.type == kVst3Audio) {
            EXPECT_EQ(plugin.processor->Vtbl->GetBusArrangement(plugin.processor, o.direction, o.index, &arrangement),
                      kVst3InvalidArgument);
        }
    }
    EXPECT_EQ(component->Vtbl->GetBusInfo(component, kVst3Audio, kVst3Input, 0, nullptr), kVst3InvalidArgument);
    EXPECT_EQ(plugin.processor->Vtbl->GetLatencySamples(plugin.processor), 0u);
    EXPECT_EQ(plugin.processor->Vtbl->GetTailSamples(plugin.processor), 0u);
    for (std::int32_t size : {kVst3Sample32, kVst3Sample64})
        EXPECT_EQ(plugin.processor->Vtbl->CanProcessSampleSize(plugin.processor, size), kVst3ResultOk);
    EXPECT_EQ(plugin.processor->Vtbl->CanProcessSampleSize(plugin.processor, 2), kVst3ResultFalse);
}

// Any 16-speaker arrangement is taken and then reported back, each direction
// its own; anything else is refused and leaves what was there.
TEST(Vst3Plugin, TakesSixteenChannelsEachWayAndReportsWhatItTook) {
    constexpr TVst3SpeakerArrangement k16 = kVst3First16Speakers, kOther16 = 0xFFFF0000, kStereo = 3,
                                      k17 = 0x1FFFF, kAmbi = kVst3Ambisonics3rdOrder, k916 = kVst3Surround91_6,
                                      k916W = kVst3Surround91_6Wide;
    const struct {
        std::vector<TVst3SpeakerArrangement> inputs, outputs;
        TVst3Result result;
    } cases[] = {
        {{k16}, {k16}, kVst3ResultOk},        {{kAmbi}, {kAmbi}, kVst3ResultOk},
        {{kStereo}, {kStereo}, kVst3ResultFalse}, {{k916}, {k916W}, kVst3ResultOk},
        {{k16}, {kStereo}, kVst3ResultFalse}, {{kOther16}, {k16}, kVst3ResultOk},
        {{k17}, {k16}, kVst3ResultFalse},     {{k16, k16}, {k16}, kVst3ResultFalse},
        {{}, {k16}, kVst3ResultFalse},        {{k16}, {}, kVst3ResultFalse},
        {{k916W}, {kAmbi}, kVst3ResultOk},
    };
    Vst3Instance plugin;
    TVst3SpeakerArrangement current[2] = {k16, k16};
    for (const auto& c : cases) {
        auto inputs = c.inputs, outputs = c.outputs;
        EXPECT_EQ(plugin.processor->Vtbl->SetBusArrangements(
                      plugin.processor, inputs.empty() ? nullptr : inputs.data(), std::int32_t(inputs.size()),
                      outputs.empty() ? nullptr : outputs.data(), std::int32_t(outputs.size())),
                  c.result);
        if (c.result == kVst3ResultOk) {
            current[kVst3Input] = inputs[0];
            current[kVst3Output] = outputs[0];
        }
        for (std::int32_t direction : {kVst3Input, kVst3Output}) {
            TVst3SpeakerArrangement arrangement = 0;
            ASSERT_EQ(plugin.processor->Vtbl->GetBusArrangement(plugin.processor, direction, 0, &arrangement),
                      kVst3ResultOk);
            EXPECT_EQ(arrangement, current[direction]) << "direction " << direction << " after case " << &c - cases;
        }
    }
    // Routing goes by channel index whatever the speakers are called.
    plugin.Start();
    plugin.Route(15, 4);
    Vst3Audio<float> audio(5);
    audio.Fill(DistinctInput<float>);
    ASSERT_EQ(plugin.Process(audio), kVst3ResultOk);
    ExpectOutputsRouted(audio, 15, 4);
}

// Hosts connect the two parts through this interface before using them.
TEST(Vst3Plugin, BothPartsConnectAndDeclineMessages) {
    Vst3Instance plugin;
    TVst3ConnectionPoint* points[2] = {};
    void* object = nullptr;
    ASSERT_EQ(plugin.component->Vtbl->QueryInterface(plugin.component, kVst3ConnectionPointIid.Bytes, &object),
              kVst3ResultOk);
    points[0] = static_cast<TVst3ConnectionPoint*>(object);
    ASSERT_EQ(plugin.controller->Vtbl->QueryInterface(plugin.controller, kVst3ConnectionPointIid.Bytes, &object),
              kVst3ResultOk);
    points[1] = static_cast<TVst3ConnectionPoint*>(object);
    for (int i = 0; i < 2; ++i) {
        TVst3ConnectionPoint* self = points[i];
        TVst3ConnectionPoint* other = points[1 - i];
        EXPECT_EQ(self->Vtbl->Connect(self, other), kVst3ResultOk);
        EXPECT_EQ(self->Vtbl->Notify(self, nullptr), kVst3ResultFalse);
        EXPECT_EQ(self->Vtbl->Disconnect(self, other), kVst3ResultOk);
        EXPECT_EQ(self->Vtbl->Connect(self, nullptr), kVst3InvalidArgument);
        EXPECT_EQ(self->Vtbl->Disconnect(self, nullptr), kVst3InvalidArgument);
    }
    for (TVst3ConnectionPoint* point : points) point->Vtbl->Release(point);
}

// ---------------------------------------------------------------------------
// Parameters

TEST(Vst3Parameters, AreTwoAutomatableListsOf17Choices) {
    const StrictModeOff onPurpose;
    Vst3Instance plugin;
    TVst3EditController* controller = plugin.controller;
    ASSERT_EQ(controller->Vtbl->GetParameterCount(controller), 2);
    const char* titles[] = {"routed to channel 1", "routed to channel 2"};
    const char* shortTitles[] = {"Out 1 src", "Out 2 src"};
    for (int i = 0; i < 2; ++i) {
        TVst3ParameterInfo info{};
        ASSERT_EQ(controller->Vtbl->GetParameterInfo(controller, i, &info), kVst3ResultOk);
        EXPECT_EQ(info.Id, TVst3ParamId(i));
        EXPECT_EQ(Ascii(info.Title), titles[i]);
        EXPECT_EQ(Ascii(info.ShortTitle), shortTitles[i]);
        EXPECT_EQ(Ascii(info.Units), "");
        EXPECT_EQ(info.StepCount, 16);
        EXPECT_EQ(info.DefaultNormalizedValue, i / 16.0);
        EXPECT_EQ(info.Flags, kVst3ParamCanAutomate | kVst3ParamIsList);
        EXPECT_EQ(plugin.Normalized(i), i / 16.0);
    }
    TVst3ParameterInfo info{};
    EXPECT_EQ(controller->Vtbl->GetParameterInfo(controller, 2, &info), kVst3InvalidArgument);
    EXPECT_EQ(controller->Vtbl->GetParameterInfo(controller, -1, &info), kVst3InvalidArgument);
    EXPECT_EQ(controller->Vtbl->GetParameterInfo(controller, 0, nullptr), kVst3InvalidArgument);
}

// Normalized v is step min(16, floor(17 v)); step s shows as s / 16.
TEST(Vst3Parameters, MapNormalizedValuesToStepsAsListsDo) {
    const struct {
        double normalized;
        double step;
    } cases[] = {{0.0, 0},         {1 / 17.0 - 1e-9, 0}, {1 / 17.0, 1}, {1 / 16.0, 1},        {0.5, 8},
                 {15 / 17.0, 15},  {15 / 16.0, 15},      {16 / 17.0, 16}, {1.0, 16},          {-0.5, 0},
                 {2.0, 16},        {-std::numeric_limits<double>::infinity(), 0},
                 {std::numeric_limits<double>::infinity(), 16}};
    Vst3Instance plugin;
    plugin.Start();
    TVst3EditController* controller = plugin.controller;
    for (const auto& c : cases) {
        EXPECT_EQ(controller->Vtbl->NormalizedParamToPlain(controller, 0, c.normalized), c.step) << c.normalized;
        // The processor routes the step the text names.
        plugin.Route(0, 1);
        Vst3Changes changes;
        changes.Add(0, 0, c.normalized);
        Vst3Audio<float> audio(4);
        audio.Fill(DistinctInput<float>);
        plugin.Process(audio, &changes);
        ExpectOutputsRouted(audio, int(c.step), 1);
        TVst3String128 text{};
        ASSERT_EQ(controller->Vtbl->GetParamStringByValue(controller, 0, c.normalized, text), kVst3ResultOk);
        EXPECT_EQ(Ascii(text), c.step == 16 ? "none" : "input channel " + std::to_string(int(c.step) + 1));
    }
    for (int step = 0; step <= 16; ++step) {
        EXPECT_EQ(controller->Vtbl->PlainParamToNormalized(controller, 1, step), step / 16.0);
        EXPECT_EQ(controller->Vtbl->NormalizedParamToPlain(controller, 1, step / 16.0), step);
    }
    TVst3String128 text{};
    EXPECT_EQ(controller->Vtbl->GetParamStringByValue(controller, 0, kNan, text), kVst3ResultFalse);
    EXPECT_EQ(controller->Vtbl->GetParamStringByValue(controller, 2, 0.5, text), kVst3InvalidArgument);
    EXPECT_EQ(controller->Vtbl->SetParamNormalized(controller, 0, kNan), kVst3ResultFalse);
    EXPECT_EQ(controller->Vtbl->SetParamNormalized(controller, 5, 0.5), kVst3InvalidArgument);
    EXPECT_EQ(plugin.Normalized(0), 0.0);
    EXPECT_EQ(plugin.Normalized(5), 0.0);
}

TEST(Vst3Parameters, TakeTextsBothWays) {
    const struct {
        std::u16string text;
        TVst3Result result;
        double normalized;
    } cases[] = {{u"input channel 1", kVst3ResultOk, 0.0},   {u"input channel 16", kVst3ResultOk, 15 / 16.0},
                 {u"none", kVst3ResultOk, 1.0},              {u" None", kVst3ResultOk, 1.0},
                 {u"5", kVst3ResultOk, 4 / 16.0},            {u"INPUT CHANNEL 9 ", kVst3ResultOk, 8 / 16.0},
                 {u"input channel 17", kVst3ResultFalse, 0}, {u"0", kVst3ResultFalse, 0},
                 {u"", kVst3ResultFalse, 0},                 {u"input channel \u00b9", kVst3ResultFalse, 0}};
    Vst3Instance plugin;
    TVst3EditController* controller = plugin.controller;
    for (const auto& c : cases) {
        std::u16string text = c.text;
        double normalized = -1.0;
        ASSERT_EQ(controller->Vtbl->GetParamValueByString(controller, 1, text.data(), &normalized), c.result)
            << Ascii(text.c_str());
        if (c.result == kVst3ResultOk) {
            EXPECT_EQ(normalized, c.normalized) << Ascii(text.c_str());
        }
    }
    // Every choice's text leads back to it.
    for (int step = 0; step <= 16; ++step) {
        TVst3String128 text{};
        double normalized = -1.0;
        ASSERT_EQ(controller->Vtbl->GetParamStringByValue(controller, 0, step / 16.0, text), kVst3ResultOk);
        ASSERT_EQ(controller->Vtbl->GetParamValueByString(controller, 0, text, &normalized), kVst3ResultOk);
        EXPECT_EQ(normalized, step / 16.0);
    }
    std::u16string longText(500, u'x');
    double normalized;
    EXPECT_EQ(controller->Vtbl->GetParamValueByString(controller, 0, longText.data(), &normalized), kVst3ResultFalse);
    EXPECT_EQ(controller->Vtbl->GetParamValueByString(controller, 0, nullptr, &normalized), kVst3InvalidArgument);
}

// ---------------------------------------------------------------------------
// Processing

TEST(Vst3Processing, RoutesBothPrecisionsSeparateAndInPlace) {
    const struct {
        int source1, source2;
    } routes[] = {{0, 1}, {3, 10}, {15, 15}, {kNone, 2}, {kNone, kNone}};
    for (bool inPlace : {false, true}) {
        for (const auto& route : routes) {
            Vst3Instance plugin;
            plugin.Start(64, kVst3Sample64);
            plugin.Route(route.source1, route.source2);
            Vst3Audio<double> wide(37, inPlace);
            wide.Fill(DistinctInput<double>);
            ASSERT_EQ(plugin.Process(wide), kVst3ResultOk);
            ExpectOutputsRouted(wide, route.source1, route.source2);
            const std::uint64_t silent =
                kSilentOutputs | (route.source1 == kNone ? 1u : 0u) | (route.source2 == kNone ? 2u : 0u);
            EXPECT_EQ(wide.outputBus.SilenceFlags, silent);
            Vst3Audio<float> narrow(512, inPlace);
            narrow.Fill(DistinctInput<float>);
            ASSERT_EQ(plugin.Process(narrow), kVst3ResultOk);
            ExpectOutputsRouted(narrow, route.source1, route.source2);
            EXPECT_EQ(narrow.outputBus.SilenceFlags, silent);
        }
    }
}

// An output is flagged silent when the input it routes was flagged so by the
// host, unless a change in the call touched its source.
TEST(Vst3Processing, OutputsOfSilentInputsAreFlaggedSilent) {
    const struct {
        std::uint64_t silentInputs;
        bool change;
        std::uint64_t silentOutputs;
    } cases[] = {{1u << 3, false, kSilentOutputs | 1u},
                 {1u << 3 | 1u << 9, false, kSilentOutputs | 3u},
                 {1u << 3 | 1u << 9, true, kSilentOutputs | 2u},
                 {1u << 5, false, kSilentOutputs}};
    for (const auto& c : cases) {
        Vst3Instance plugin;
        plugin.Start();
        plugin.Route(3, 9);
        Vst3Audio<float> audio(16);
        audio.Fill(DistinctInput<float>);
        audio.inputBus.SilenceFlags = c.silentInputs;
        Vst3Changes changes;
        if (c.change) changes.Add(0, 4, 3 / 16.0);
        ASSERT_EQ(plugin.Process(audio, &changes), kVst3ResultOk);
        EXPECT_EQ(audio.outputBus.SilenceFlags, c.silentOutputs) << std::hex << c.silentInputs << " " << c.change;
    }
}

// A host that misbehaves hears of it once an activation on standard error,
// from the main thread; the call is answered as before.
TEST(Vst3Processing, MisbehaviourIsToldOnceAnActivation) {
    const StrictModeOff onPurpose;
    Vst3Instance plugin;
    plugin.Start();
    Vst3Audio<float> audio(8);
    audio.Fill(DistinctInput<float>);
    audio.inputBus.NumChannels = audio.outputBus.NumChannels = 2;
    testing::internal::CaptureStderr();
    for (int call = 0; call < 3; ++call) ASSERT_EQ(plugin.Process(audio), kVst3ResultOk);
    const std::string during = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    plugin.Stop();
    plugin.Start();
    plugin.Process(audio);
    plugin.Stop();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(during, "") << "nothing is told from the audio thread";
    const std::string line = "processed with buses other than one of 16 channels each way";
    const std::size_t first = told.find(line);
    ASSERT_NE(first, std::string::npos) << told;
    EXPECT_NE(told.find(line, first + 1), std::string::npos) << "told again after the next activation";
}

// A change at offset k routes from frame k on, whatever queue it came in.
TEST(Vst3Processing, ChangesTakeEffectAtTheirSampleOffsets) {
    Vst3Instance plugin;
    plugin.Start(64);
    Vst3Changes changes;
    changes.Add(0, 5, 4 / 16.0).Add(0, 13, 1.0).Add(1, 0, 9 / 16.0).Add(1, 7, 2 / 16.0);
    // A second queue for a parameter, and points past the block and before it.
    changes.NewQueue(0).Add(0, 9, 6 / 16.0).Add(7, 3, 0.5).Add(1, 40, 0.0).NewQueue(1).Add(1, -3, 12 / 16.0);
    Vst3Audio<float> audio(20);
    audio.Fill(DistinctInput<float>);
    ASSERT_EQ(plugin.Process(audio, &changes), kVst3ResultOk);
    ExpectOutputsRouted(audio, [](int output, int frame) {
        if (output == 0) return frame < 5 ? 0 : frame < 9 ? 4 : frame < 13 ? 6 : kNone;
        return frame < 7 ? 12 : 2;
    });
    // The last point of each queue in offset order holds.
    EXPECT_EQ(audio.outputBus.SilenceFlags, kSilentOutputs);
    Vst3Audio<float> next(3);
    next.Fill(DistinctInput<float>);
    plugin.Process(next);
    ExpectOutputsRouted(next, kNone, 0);
    // NaN points are passed over.
    Vst3Changes odd;
    odd.Add(0, 0, kNan).Add(1, 1, kNan);
    plugin.Process(next, &odd);
    ExpectOutputsRouted(next, kNone, 0);
}

TEST(Vst3Processing, CallOfNoFramesAppliesChangesAndTouchesNoBuffer) {
    Vst3Instance plugin;
    plugin.Start();
    Vst3Audio<float> audio(8);
    audio.Fill(DistinctInput<float>);
    Vst3Changes changes;
    changes.Add(0, 0, 7 / 16.0).Add(1, 3, 1.0);
    ASSERT_EQ(plugin.ProcessBuses<float>(&audio.inputBus, 1, &audio.outputBus, 1, 0, &changes), kVst3ResultOk);
    for (int c = 0; c < kVst3Channels; ++c)
        for (int j = 0; j < audio.frames; ++j) ASSERT_EQ(audio.Output(c, j), -7.0f);
    EXPECT_EQ(audio.outputBus.SilenceFlags, 0u);
    EXPECT_EQ(plugin.Normalized(0), 0.0) << "the controller hears of changes from the host, not the processor";
    plugin.Process(audio);
    ExpectOutputsRouted(audio, 7, kNone);
}

// Whatever buses a host passes: every output channel given is written, the
// routed ones from their input where it was given, silence otherwise; no
// channel not given is read or written (the arrays are as long as the
// counts say, for the sanitizers and valgrind to watch).
TEST(Vst3Processing, AnyBusesAreServedWithoutReadingPastThem) {
    const StrictModeOff onPurpose;
    const struct {
        int inputs, outputs;
        bool nullInputs, nullOutputs;
        int nullChannel;  // an input and an output channel given as null, or -1
        int outputBuses;
    } cases[] = {
        {16, 16, false, false, -1, 1}, {2, 2, false, false, -1, 1},   {4, 16, false, false, -1, 1},
        {16, 1, false, false, -1, 1},  {0, 16, false, false, -1, 1},  {16, 0, false, false, -1, 1},
        {20, 24, false, false, -1, 1}, {16, 16, true, false, -1, 1},  {16, 16, false, true, -1, 1},
        {16, 16, false, false, 3, 1},  {16, 16, false, false, 0, 1},  {16, 16, false, false, -1, 3},
        {1, 1, false, false, -1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.inputs << " in, " << c.outputs << " out, null channel " << c.nullChannel
                                        << ", " << c.outputBuses << " output buses");
        const int frames = 11;
        std::vector<std::vector<float>> in(c.inputs, std::vector<float>(frames)), out;
        std::vector<float*> inputs(c.inputs);
        for (int ch = 0; ch < c.inputs; ++ch) {
            for (int j = 0; j < frames; ++j) in[ch][j] = DistinctInput<float>(ch, j);
            inputs[ch] = ch == c.nullChannel ? nullptr : in[ch].data();
        }
        std::vector<TVst3AudioBusBuffers> outBuses(c.outputBuses);
        std::vector<std::vector<float*>> outputs(c.outputBuses);
        for (int b = 0; b < c.outputBuses; ++b) {
            for (int ch = 0; ch < c.outputs; ++ch) {
                out.emplace_back(frames, -7.0f);
                outputs[b].push_back(b == 0 && ch == c.nullChannel ? nullptr : out.back().data());
            }
            outBuses[b].NumChannels = c.outputs;
            outBuses[b].Buffers32 = c.nullOutputs ? nullptr : outputs[b].data();
        }
        TVst3AudioBusBuffers inBus{};
        inBus.NumChannels = c.inputs;
        inBus.Buffers32 = c.nullInputs ? nullptr : inputs.data();
        Vst3Instance plugin;
        plugin.Start(64);
        plugin.Route(1, 0);
        ASSERT_EQ(plugin.ProcessBuses<float>(&inBus, 1, outBuses.data(), c.outputBuses, frames), kVst3ResultOk);
        if (c.nullOutputs) continue;
        for (int b = 0; b < c.outputBuses; ++b)
            for (int ch = 0; ch < c.outputs; ++ch) {
                const float* channel = outputs[b][ch];
                if (!channel) continue;
                const int source = b > 0 ? -1 : ch == 0 ? 1 : ch == 1 ? 0 : -1;
                const bool given = source >= 0 && source < c.inputs && !c.nullInputs && source != c.nullChannel;
                for (int j = 0; j < frames; ++j)
                    ASSERT_EQ(channel[j], given ? DistinctInput<float>(source, j) : 0.0f) << "bus " << b << " channel " << ch;
            }
    }
}

TEST(Vst3Processing, RefusesWhatCannotBeProcessed) {
    Vst3Instance plugin;
    plugin.Start();
    Vst3Audio<float> audio(8);
    audio.Fill(DistinctInput<float>);
    EXPECT_EQ(plugin.processor->Vtbl->Process(plugin.processor, nullptr), kVst3InvalidArgument);
    EXPECT_EQ(plugin.ProcessBuses<float>(&audio.inputBus, 1, &audio.outputBus, 1, -5), kVst3InvalidArgument);
    plugin.data.NumSamples = 8;
    plugin.data.SymbolicSampleSize = 7;
    EXPECT_EQ(plugin.processor->Vtbl->Process(plugin.processor, &plugin.data), kVst3InvalidArgument);
    for (int c = 0; c < kVst3Channels; ++c) ASSERT_EQ(audio.Output(c, 0), -7.0f);
    TVst3ProcessSetup bad{kVst3Realtime, kVst3Sample32, 512, kNan};
    EXPECT_EQ(plugin.processor->Vtbl->SetupProcessing(plugin.processor, &bad), kVst3InvalidArgument);
    EXPECT_EQ(plugin.processor->Vtbl->SetupProcessing(plugin.processor, nullptr), kVst3InvalidArgument);
    bad = {kVst3Realtime, 9, 512, 48000.0};
    EXPECT_EQ(plugin.processor->Vtbl->SetupProcessing(plugin.processor, &bad), kVst3ResultFalse);
    // Before any setup or activation, processing works all the same; the
    // host hears of it when it terminates the processor.
    const StrictModeOff onPurpose;
    testing::internal::CaptureStderr();
    {
        Vst3Instance fresh;
        fresh.Route(5, 6);
        fresh.Process(audio);
        ExpectOutputsRouted(audio, 5, 6);
    }
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("the host processed while not active"), std::string::npos) << told;
}

// The process context's transport, as the block section sees it.
TEST(Vst3Processing, TransportReachesTheBlockSection) {
    ExpectBlockSectionSeesTransports([](const TransportCase& c) {
        TVst3ProcessContext context{};
        context.State = c.Flags(kVst3ContextTempoValid, kVst3ContextTimeSigValid, kVst3ContextProjectTimeMusicValid,
                                kVst3ContextPlaying, kVst3ContextRecording);
        context.Tempo = c.tempoValue;
        context.TimeSigNumerator = c.numerator;
        context.TimeSigDenominator = 8;
        context.ProjectTimeMusic = c.beatsValue;
        return context;
    });
    // And through the module: a context in the call is taken.
    Vst3Instance module;
    module.Start();
    TVst3ProcessContext context{};
    context.State = kVst3ContextTempoValid | kVst3ContextTimeSigValid | kVst3ContextProjectTimeMusicValid |
                    kVst3ContextPlaying | kVst3ContextRecording;
    context.Tempo = 100.0;
    Vst3Audio<float> audio(16);
    audio.Fill(DistinctInput<float>);
    EXPECT_EQ(module.Process(audio, nullptr, &context), kVst3ResultOk);
    ExpectOutputsRouted(audio, 0, 1);
}

// ---------------------------------------------------------------------------
// State

TEST(Vst3State, IsTheVst2ChunkThroughAnyStream) {
    const StrictModeOff onPurpose;
    Vst3Instance plugin;
    plugin.Route(6, kNone);
    std::vector<float> values(64, 0.0f);
    values[0] = 6;
    values[1] = 16;
    for (std::int32_t step : {1, 3, 259, 4096}) EXPECT_EQ(plugin.Save(step), Chunk(values)) << step;
    Vst3Instance other;
    for (std::int32_t step : {1, 7, 260}) {
        other.Route(0, 1);
        ASSERT_EQ(other.LoadBoth(plugin.Save(), step), kVst3ResultOk) << step;
        EXPECT_EQ(other.Save(), Chunk(values));
        EXPECT_EQ(other.Normalized(0), 6 / 16.0);
        EXPECT_EQ(other.Normalized(1), 1.0);
    }
    Vst3Stream failing;
    failing.failAt = 100;
    EXPECT_EQ(plugin.component->Vtbl->GetState(plugin.component, failing.Interface()), kVst3ResultFalse);
    EXPECT_EQ(plugin.component->Vtbl->GetState(plugin.component, nullptr), kVst3ResultFalse);
}

TEST(Vst3State, BadStreamsChangeNothing) {
    const StrictModeOff onPurpose;
    std::vector<float> values(64, 0.0f);
    values[0] = 9;
    values[1] = 3;
    const Bytes good = Chunk(values);
    Bytes noMarker = good;
    noMarker[0] ^= 1;
    const struct {
        const char* what;
        Bytes bytes;
        std::size_t failAt;
    } cases[] = {
        {"empty", {}, SIZE_MAX},
        {"three bytes", Bytes(good.begin(), good.begin() + 3), SIZE_MAX},
        {"no marker", noMarker, SIZE_MAX},
        {"fails at once", good, 0},
        {"fails after the marker", good, 4},
        {"fails near the end", good, 259},
    };
    for (const auto& c : cases) {
        Vst3Instance plugin;
        plugin.Route(2, 5);
        const Bytes before = plugin.Save();
        Vst3Stream stream(c.bytes, 2, c.failAt);
        EXPECT_EQ(plugin.component->Vtbl->SetState(plugin.component, stream.Interface()), kVst3ResultFalse) << c.what;
        EXPECT_EQ(plugin.Save(), before) << c.what;
        Vst3Stream again(c.bytes, 2, c.failAt);
        EXPECT_EQ(plugin.controller->Vtbl->SetComponentState(plugin.controller, again.Interface()), kVst3ResultFalse)
            << c.what;
        EXPECT_EQ(plugin.Normalized(0), 0.0) << c.what;
        EXPECT_EQ(plugin.Normalized(1), 1 / 16.0) << c.what;
    }
    Vst3Instance plugin;
    EXPECT_EQ(plugin.component->Vtbl->SetState(plugin.component, nullptr), kVst3ResultFalse);
    EXPECT_EQ(plugin.controller->Vtbl->SetComponentState(plugin.controller, nullptr), kVst3ResultFalse);
}

// A read that delivers less than asked and reports failure delivered those
// bytes all the same: they load as from a stream that reported success.
TEST(Vst3State, ShortReadsReportedAsFailuresKeepWhatTheyDelivered) {
    std::vector<float> values(64, 0.0f);
    values[0] = 12;
    values[1] = 4;
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {{"the whole state", Chunk(values)}, {"two values", Chunk({12, 4})}, {"one value", Chunk({12})},
                 {"longer than a state", [&] {
                      Bytes longer = Chunk(values);
                      longer.resize(400, 0x55);
                      return longer;
                  }()}};
    for (const auto& c : cases) {
        Bytes saved[2];
        for (bool failShortReads : {false, true}) {
            Vst3Instance plugin;
            plugin.Route(2, 5);
            Vst3Stream stream(c.bytes, std::numeric_limits<std::int32_t>::max(), SIZE_MAX);
            stream.failShortReads = failShortReads;
            ASSERT_EQ(plugin.component->Vtbl->SetState(plugin.component, stream.Interface()), kVst3ResultOk) << c.what;
            Vst3Stream mirrored(c.bytes, std::numeric_limits<std::int32_t>::max(), SIZE_MAX);
            mirrored.failShortReads = failShortReads;
            ASSERT_EQ(plugin.controller->Vtbl->SetComponentState(plugin.controller, mirrored.Interface()),
                      kVst3ResultOk)
                << c.what;
            EXPECT_EQ(plugin.Normalized(0), 12 / 16.0) << c.what;
            saved[failShortReads] = plugin.Save();
        }
        EXPECT_EQ(saved[true], saved[false]) << c.what;
    }
}

// Big-endian words, as VST 2 presets hold them.
void AppendWord(Bytes& bytes, std::uint32_t word) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(word >> shift));
}
void AppendChars(Bytes& bytes, const char* text) { bytes.insert(bytes.end(), text, text + std::strlen(text)); }

// The VST 2 plug-in's chunk as a host saves it in a program or bank preset,
// optionally behind the header a wrapper writes first.
Bytes Vst2Preset(const Bytes& chunk, bool bank, bool header, std::uint32_t uniqueId = 0) {
    Bytes preset;
    AppendChars(preset, "CcnK");
    AppendWord(preset, 0);
    AppendChars(preset, bank ? "FBCh" : "FPCh");
    AppendWord(preset, bank ? 2 : 1);
    AppendWord(preset, uniqueId);
    AppendWord(preset, 1);
    AppendWord(preset, bank ? 1 : 2);
    if (bank) {
        AppendWord(preset, 0);
        preset.resize(preset.size() + 124);
    } else {
        AppendChars(preset, "Default");
        preset.resize(preset.size() + 28 - 7);
    }
    AppendWord(preset, static_cast<std::uint32_t>(chunk.size()));
    preset.insert(preset.end(), chunk.begin(), chunk.end());
    const auto size = static_cast<std::uint32_t>(preset.size() - 8);
    for (int i = 0; i < 4; ++i) preset[4 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    if (!header) return preset;
    Bytes wrapped;
    AppendChars(wrapped, "VstW");
    AppendWord(wrapped, 8);
    AppendWord(wrapped, 1);
    AppendWord(wrapped, 0);
    wrapped.insert(wrapped.end(), preset.begin(), preset.end());
    return wrapped;
}

// A host that swaps the VST 2 plug-in of an old project for this one hands
// over the VST 2 plug-in's saved state in a preset's wrapping.
TEST(Vst3State, TakesTheVst2PluginsPresetsAsHostsHandThemOver) {
    TestHost vstHost;
    PluginInstance vst;
    vst.Start();
    vst.SetParameter(0, 9.0f / 16.0f);
    vst.SetParameter(1, 1.0f);
    Bytes chunks[2];
    for (int preset = 0; preset < 2; ++preset) {
        void* data = nullptr;
        const auto size = static_cast<std::size_t>(vst.Dispatch(effGetChunk, preset, 0, &data));
        ASSERT_GT(size, 0u);
        chunks[preset] = Bytes(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size);
    }
    for (bool bank : {false, true}) {
        for (bool header : {false, true}) {
            const Bytes& chunk = chunks[bank ? 0 : 1];
            for (std::int32_t step : {1, 7, std::numeric_limits<std::int32_t>::max()}) {
                Vst3Instance plugin;
                plugin.Route(2, 5);
                ASSERT_EQ(plugin.LoadBoth(Vst2Preset(chunk, bank, header), step), kVst3ResultOk)
                    << "bank " << bank << ", header " << header << ", step " << step;
                EXPECT_EQ(plugin.Normalized(0), 9 / 16.0);
                EXPECT_EQ(plugin.Normalized(1), 1.0);
                EXPECT_EQ(plugin.Save(), chunk);
            }
        }
    }

    const Bytes bank = Vst2Preset(chunks[0], true, true);
    auto changed = [&](std::size_t at, std::uint8_t value) {
        Bytes bytes = bank;
        bytes[at] = value;
        return bytes;
    };
    Bytes parameters = bank;
    std::memcpy(parameters.data() + 16 + 8, "FxBk", 4);
    Bytes noMarker = chunks[0];
    noMarker[0] ^= 1;
    const struct {
        const char* what;
        Bytes bytes;
    } malformed[] = {
        {"another plug-in's", Vst2Preset(chunks[0], true, false, 0x61626364)},
        {"a bank of parameters", parameters},
        {"cut short in the header", Bytes(bank.begin(), bank.begin() + 100)},
        {"a chunk longer than the preset", changed(16 + 156 + 3, 0xFF)},
        {"a chunk that is no state", Vst2Preset(noMarker, false, true)},
        {"a wrapper's header longer than the preset", changed(6, 0x10)},
        {"the magic alone", Bytes(bank.begin() + 16, bank.begin() + 20)},
    };
    for (const auto& m : malformed) {
        Vst3Instance plugin;
        plugin.Route(2, 5);
        const Bytes before = plugin.Save();
        EXPECT_EQ(plugin.LoadBoth(m.bytes, 5), kVst3ResultFalse) << m.what;
        EXPECT_EQ(plugin.Save(), before) << m.what;
        EXPECT_EQ(plugin.Normalized(0), 0.0) << m.what;
    }
}

// Hosts derive the id from the VST 2 plug-in's unique id and name: "VST", the
// id in eight hex digits, then its first nine letters in lower case, zeros
// past the end. moduleinfo.json says the processor replaces that class.
TEST(Vst3ModuleInfo, NamesTheIdHostsDeriveFromTheVst2Plugin) {
    const std::string path = Vst3PluginPath();
    const std::size_t contents = path.rfind("/Contents/");
    const std::string infoPath = path.substr(0, contents) + "/Contents/Resources/moduleinfo.json";
    std::FILE* file = contents == std::string::npos ? nullptr : std::fopen(infoPath.c_str(), "rb");
    if (!file) GTEST_SKIP() << "no bundle around " << path;
    std::string json;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) json.append(buffer, n);
    std::fclose(file);

    TestHost vstHost;
    PluginInstance vst;
    const std::string name = vst.Text(effGetEffectName);
    char id[64];
    int at = std::snprintf(id, sizeof id, "%06X%08X", ('V' << 16) | ('S' << 8) | 'T',
                           static_cast<unsigned>(vst.effect->uniqueID));
    for (std::size_t i = 0; i < 9; ++i)
        at += std::snprintf(id + at, sizeof id - at, "%02X",
                            i < name.size() ? std::tolower(static_cast<unsigned char>(name[i])) : 0);
    const TVst3Uid processor = kVst3ProcessorClass.Uid();
    EXPECT_NE(json.find("\"New\": \"" + Printed(processor.Bytes) + "\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"Old\": [\"" + std::string(id) + "\"]"), std::string::npos) << id << "\n" << json;
}

// The controller keeps no state of its own, takes any, and shows the
// component's after each load, odd values as they route.
TEST(Vst3State, ControllerMirrorsTheComponentState) {
    Vst3Instance plugin;
    plugin.Start();
    const struct {
        float value1, value2;
        double shown1, shown2;
    } loads[] = {{5, 9, 5, 9}, {20, -1, 16, 16}, {2.5f, std::numeric_limits<float>::quiet_NaN(), 2, 0}};
    for (const auto& load : loads) {
        ASSERT_EQ(plugin.LoadBoth(Chunk({load.value1, load.value2}), 3), kVst3ResultOk);
        EXPECT_EQ(plugin.Normalized(0), load.shown1 / 16.0) << load.value1;
        EXPECT_EQ(plugin.Normalized(1), load.shown2 / 16.0) << load.value2;
        Vst3Audio<float> audio(6);
        audio.Fill(DistinctInput<float>);
        plugin.Process(audio);
        ExpectOutputsRouted(audio, int(load.shown1), int(load.shown2));
    }
    Vst3Stream own;
    EXPECT_EQ(plugin.controller->Vtbl->GetState(plugin.controller, own.Interface()), kVst3ResultOk);
    EXPECT_TRUE(own.bytes.empty());
    EXPECT_EQ(own.calls, 0);
    Vst3Stream junk(Bytes(1000, 0xAB), 1, SIZE_MAX);
    EXPECT_EQ(plugin.controller->Vtbl->SetState(plugin.controller, junk.Interface()), kVst3ResultOk);
    EXPECT_EQ(plugin.controller->Vtbl->SetState(plugin.controller, nullptr), kVst3ResultOk);
    EXPECT_EQ(plugin.Normalized(0), 2 / 16.0);
    ASSERT_EQ(plugin.controller->Vtbl->SetParamNormalized(plugin.controller, 1, 11 / 16.0), kVst3ResultOk);
    EXPECT_EQ(plugin.Normalized(1), 11 / 16.0);
}

// One effect, one state: a chunk saved by any of the three loads in the others.
TEST(Vst3State, Vst2AndClapAndVst3LoadEachOthersStates) {
    TestHost vstHost;
    PluginInstance vst;
    vst.Start();
    ClapTestHost clapHost;
    ClapInstance clap(clapHost);
    clap.Start();
    Vst3Instance vst3;
    vst3.Start();

    vst.SetParameter(0, 14.0f / 16.0f);
    vst.SetParameter(1, 1.0f);
    const std::vector<unsigned char> fromVst = vst.SaveState();
    ASSERT_EQ(vst3.LoadBoth(Bytes(fromVst.begin(), fromVst.end()), 1), kVst3ResultOk);
    EXPECT_EQ(vst3.Normalized(0), 14 / 16.0);
    EXPECT_EQ(vst3.Normalized(1), 1.0);
    EXPECT_EQ(vst3.Save(), Bytes(fromVst.begin(), fromVst.end()));

    clap.Route(8, 3);
    ASSERT_EQ(vst3.LoadBoth(clap.Save(5)), kVst3ResultOk);
    EXPECT_EQ(vst3.Normalized(0), 8 / 16.0);
    EXPECT_EQ(vst3.Normalized(1), 3 / 16.0);

    vst3.Route(3, 0);
    const Bytes fromVst3 = vst3.Save(1);
    EXPECT_EQ(vst.LoadState(std::vector<unsigned char>(fromVst3.begin(), fromVst3.end())), 260);
    EXPECT_EQ(vst.GetParameter(0), 3.0f / 16.0f);
    EXPECT_EQ(vst.GetParameter(1), 0.0f);
    ASSERT_TRUE(clap.Load(fromVst3, 7));
    EXPECT_EQ(clap.Value(0), 3.0);
    EXPECT_EQ(clap.Value(1), 0.0);
    EXPECT_EQ(clap.Save(), fromVst3);
}

}  // namespace
