// Our VST 3 declarations against the published C API: every record's size,
// every field's offset and size, every table's slots, every identifier and
// the result codes. Built only where the C API is at hand, for each target we
// build: the identifiers' byte order and the calling convention differ on
// Windows, and a mistake there fails here rather than in a host.
#include <gtest/gtest.h>

#include <vst3_c_api.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "abi_layout.h"
#include "vst3_abi.h"

namespace {

// A table's slot: where it is. Where the parameters name no record, the
// function's whole type too, calling convention included.
#define SLOT(ours, slot, theirs, theirSlot) \
    Layout { #ours "::" #slot, offsetof(ours, slot), offsetof(theirs, theirSlot) }
#define SAME_TYPE(ours, slot, theirs, theirSlot)                                          \
    static_assert(std::is_same_v<decltype(ours::slot), decltype(theirs::theirSlot)>, \
                  #ours "::" #slot " is not of the published type")
#define UNKNOWN_SLOTS(ours, theirs)                                                        \
    SLOT(ours, QueryInterface, theirs, queryInterface), SLOT(ours, AddRef, theirs, addRef), \
        SLOT(ours, Release, theirs, release)

#define SAME_UNKNOWN_TYPES(ours, theirs)                       \
    SAME_TYPE(ours, QueryInterface, theirs, queryInterface); \
    SAME_TYPE(ours, AddRef, theirs, addRef);                 \
    SAME_TYPE(ours, Release, theirs, release)

SAME_UNKNOWN_TYPES(TVst3UnknownVtbl, Steinberg_FUnknownVtbl);
SAME_UNKNOWN_TYPES(TVst3StreamVtbl, Steinberg_IBStreamVtbl);
SAME_TYPE(TVst3StreamVtbl, Read, Steinberg_IBStreamVtbl, read);
SAME_TYPE(TVst3StreamVtbl, Write, Steinberg_IBStreamVtbl, write);
SAME_TYPE(TVst3StreamVtbl, Seek, Steinberg_IBStreamVtbl, seek);
SAME_TYPE(TVst3StreamVtbl, Tell, Steinberg_IBStreamVtbl, tell);
SAME_UNKNOWN_TYPES(TVst3PluginBaseVtbl, Steinberg_IPluginBaseVtbl);
SAME_TYPE(TVst3PluginBaseVtbl, Terminate, Steinberg_IPluginBaseVtbl, terminate);
SAME_UNKNOWN_TYPES(TVst3PluginFactoryVtbl, Steinberg_IPluginFactory3Vtbl);
SAME_TYPE(TVst3PluginFactoryVtbl, CountClasses, Steinberg_IPluginFactory3Vtbl, countClasses);
SAME_TYPE(TVst3PluginFactoryVtbl, CreateInstance, Steinberg_IPluginFactory3Vtbl, createInstance);
SAME_UNKNOWN_TYPES(TVst3ComponentVtbl, Steinberg_Vst_IComponentVtbl);
SAME_TYPE(TVst3ComponentVtbl, Terminate, Steinberg_Vst_IComponentVtbl, terminate);
SAME_TYPE(TVst3ComponentVtbl, GetControllerClassId, Steinberg_Vst_IComponentVtbl, getControllerClassId);
SAME_TYPE(TVst3ComponentVtbl, SetIoMode, Steinberg_Vst_IComponentVtbl, setIoMode);
SAME_TYPE(TVst3ComponentVtbl, GetBusCount, Steinberg_Vst_IComponentVtbl, getBusCount);
SAME_TYPE(TVst3ComponentVtbl, ActivateBus, Steinberg_Vst_IComponentVtbl, activateBus);
SAME_TYPE(TVst3ComponentVtbl, SetActive, Steinberg_Vst_IComponentVtbl, setActive);
SAME_UNKNOWN_TYPES(TVst3AudioProcessorVtbl, Steinberg_Vst_IAudioProcessorVtbl);
SAME_TYPE(TVst3AudioProcessorVtbl, SetBusArrangements, Steinberg_Vst_IAudioProcessorVtbl, setBusArrangements);
SAME_TYPE(TVst3AudioProcessorVtbl, GetBusArrangement, Steinberg_Vst_IAudioProcessorVtbl, getBusArrangement);
SAME_TYPE(TVst3AudioProcessorVtbl, CanProcessSampleSize, Steinberg_Vst_IAudioProcessorVtbl, canProcessSampleSize);
SAME_TYPE(TVst3AudioProcessorVtbl, GetLatencySamples, Steinberg_Vst_IAudioProcessorVtbl, getLatencySamples);
SAME_TYPE(TVst3AudioProcessorVtbl, SetProcessing, Steinberg_Vst_IAudioProcessorVtbl, setProcessing);
SAME_TYPE(TVst3AudioProcessorVtbl, GetTailSamples, Steinberg_Vst_IAudioProcessorVtbl, getTailSamples);
SAME_UNKNOWN_TYPES(TVst3ProcessContextRequirementsVtbl, Steinberg_Vst_IProcessContextRequirementsVtbl);
SAME_TYPE(TVst3ProcessContextRequirementsVtbl, GetProcessContextRequirements,
          Steinberg_Vst_IProcessContextRequirementsVtbl, getProcessContextRequirements);
SAME_UNKNOWN_TYPES(TVst3EditControllerVtbl, Steinberg_Vst_IEditControllerVtbl);
SAME_TYPE(TVst3EditControllerVtbl, Terminate, Steinberg_Vst_IEditControllerVtbl, terminate);
SAME_TYPE(TVst3EditControllerVtbl, GetParameterCount, Steinberg_Vst_IEditControllerVtbl, getParameterCount);
SAME_TYPE(TVst3EditControllerVtbl, GetParamStringByValue, Steinberg_Vst_IEditControllerVtbl, getParamStringByValue);
SAME_TYPE(TVst3EditControllerVtbl, GetParamValueByString, Steinberg_Vst_IEditControllerVtbl, getParamValueByString);
SAME_TYPE(TVst3EditControllerVtbl, NormalizedParamToPlain, Steinberg_Vst_IEditControllerVtbl, normalizedParamToPlain);
SAME_TYPE(TVst3EditControllerVtbl, PlainParamToNormalized, Steinberg_Vst_IEditControllerVtbl, plainParamToNormalized);
SAME_TYPE(TVst3EditControllerVtbl, GetParamNormalized, Steinberg_Vst_IEditControllerVtbl, getParamNormalized);
SAME_TYPE(TVst3EditControllerVtbl, SetParamNormalized, Steinberg_Vst_IEditControllerVtbl, setParamNormalized);
SAME_UNKNOWN_TYPES(TVst3ConnectionPointVtbl, Steinberg_Vst_IConnectionPointVtbl);
SAME_UNKNOWN_TYPES(TVst3ParamValueQueueVtbl, Steinberg_Vst_IParamValueQueueVtbl);
SAME_TYPE(TVst3ParamValueQueueVtbl, GetParameterId, Steinberg_Vst_IParamValueQueueVtbl, getParameterId);
SAME_TYPE(TVst3ParamValueQueueVtbl, GetPointCount, Steinberg_Vst_IParamValueQueueVtbl, getPointCount);
SAME_TYPE(TVst3ParamValueQueueVtbl, GetPoint, Steinberg_Vst_IParamValueQueueVtbl, getPoint);
SAME_TYPE(TVst3ParamValueQueueVtbl, AddPoint, Steinberg_Vst_IParamValueQueueVtbl, addPoint);
SAME_UNKNOWN_TYPES(TVst3ParameterChangesVtbl, Steinberg_Vst_IParameterChangesVtbl);
SAME_TYPE(TVst3ParameterChangesVtbl, GetParameterCount, Steinberg_Vst_IParameterChangesVtbl, getParameterCount);

const Layout kLayouts[] = {
    RECORD(TVst3FactoryInfo, Steinberg_PFactoryInfo),
    FIELD(TVst3FactoryInfo, Vendor, Steinberg_PFactoryInfo, vendor),
    FIELD(TVst3FactoryInfo, Url, Steinberg_PFactoryInfo, url),
    FIELD(TVst3FactoryInfo, Email, Steinberg_PFactoryInfo, email),
    FIELD(TVst3FactoryInfo, Flags, Steinberg_PFactoryInfo, flags),

    RECORD(TVst3ClassInfo, Steinberg_PClassInfo),
    FIELD(TVst3ClassInfo, Cid, Steinberg_PClassInfo, cid),
    FIELD(TVst3ClassInfo, Cardinality, Steinberg_PClassInfo, cardinality),
    FIELD(TVst3ClassInfo, Category, Steinberg_PClassInfo, category),
    FIELD(TVst3ClassInfo, Name, Steinberg_PClassInfo, name),

    RECORD(TVst3ClassInfo2, Steinberg_PClassInfo2),
    FIELD(TVst3ClassInfo2, Cid, Steinberg_PClassInfo2, cid),
    FIELD(TVst3ClassInfo2, Cardinality, Steinberg_PClassInfo2, cardinality),
    FIELD(TVst3ClassInfo2, Category, Steinberg_PClassInfo2, category),
    FIELD(TVst3ClassInfo2, Name, Steinberg_PClassInfo2, name),
    FIELD(TVst3ClassInfo2, ClassFlags, Steinberg_PClassInfo2, classFlags),
    FIELD(TVst3ClassInfo2, SubCategories, Steinberg_PClassInfo2, subCategories),
    FIELD(TVst3ClassInfo2, Vendor, Steinberg_PClassInfo2, vendor),
    FIELD(TVst3ClassInfo2, Version, Steinberg_PClassInfo2, version),
    FIELD(TVst3ClassInfo2, SdkVersion, Steinberg_PClassInfo2, sdkVersion),

    RECORD(TVst3ClassInfoW, Steinberg_PClassInfoW),
    FIELD(TVst3ClassInfoW, Cid, Steinberg_PClassInfoW, cid),
    FIELD(TVst3ClassInfoW, Cardinality, Steinberg_PClassInfoW, cardinality),
    FIELD(TVst3ClassInfoW, Category, Steinberg_PClassInfoW, category),
    FIELD(TVst3ClassInfoW, Name, Steinberg_PClassInfoW, name),
    FIELD(TVst3ClassInfoW, ClassFlags, Steinberg_PClassInfoW, classFlags),
    FIELD(TVst3ClassInfoW, SubCategories, Steinberg_PClassInfoW, subCategories),
    FIELD(TVst3ClassInfoW, Vendor, Steinberg_PClassInfoW, vendor),
    FIELD(TVst3ClassInfoW, Version, Steinberg_PClassInfoW, version),
    FIELD(TVst3ClassInfoW, SdkVersion, Steinberg_PClassInfoW, sdkVersion),

    RECORD(TVst3BusInfo, Steinberg_Vst_BusInfo),
    FIELD(TVst3BusInfo, MediaType, Steinberg_Vst_BusInfo, mediaType),
    FIELD(TVst3BusInfo, Direction, Steinberg_Vst_BusInfo, direction),
    FIELD(TVst3BusInfo, ChannelCount, Steinberg_Vst_BusInfo, channelCount),
    FIELD(TVst3BusInfo, Name, Steinberg_Vst_BusInfo, name),
    FIELD(TVst3BusInfo, BusType, Steinberg_Vst_BusInfo, busType),
    FIELD(TVst3BusInfo, Flags, Steinberg_Vst_BusInfo, flags),

    RECORD(TVst3RoutingInfo, Steinberg_Vst_RoutingInfo),
    FIELD(TVst3RoutingInfo, MediaType, Steinberg_Vst_RoutingInfo, mediaType),
    FIELD(TVst3RoutingInfo, BusIndex, Steinberg_Vst_RoutingInfo, busIndex),
    FIELD(TVst3RoutingInfo, Channel, Steinberg_Vst_RoutingInfo, channel),

    RECORD(TVst3ParameterInfo, Steinberg_Vst_ParameterInfo),
    FIELD(TVst3ParameterInfo, Id, Steinberg_Vst_ParameterInfo, id),
    FIELD(TVst3ParameterInfo, Title, Steinberg_Vst_ParameterInfo, title),
    FIELD(TVst3ParameterInfo, ShortTitle, Steinberg_Vst_ParameterInfo, shortTitle),
    FIELD(TVst3ParameterInfo, Units, Steinberg_Vst_ParameterInfo, units),
    FIELD(TVst3ParameterInfo, StepCount, Steinberg_Vst_ParameterInfo, stepCount),
    FIELD(TVst3ParameterInfo, DefaultNormalizedValue, Steinberg_Vst_ParameterInfo, defaultNormalizedValue),
    FIELD(TVst3ParameterInfo, UnitId, Steinberg_Vst_ParameterInfo, unitId),
    FIELD(TVst3ParameterInfo, Flags, Steinberg_Vst_ParameterInfo, flags),

    RECORD(TVst3ProcessSetup, Steinberg_Vst_ProcessSetup),
    FIELD(TVst3ProcessSetup, ProcessMode, Steinberg_Vst_ProcessSetup, processMode),
    FIELD(TVst3ProcessSetup, SymbolicSampleSize, Steinberg_Vst_ProcessSetup, symbolicSampleSize),
    FIELD(TVst3ProcessSetup, MaxSamplesPerBlock, Steinberg_Vst_ProcessSetup, maxSamplesPerBlock),
    FIELD(TVst3ProcessSetup, SampleRate, Steinberg_Vst_ProcessSetup, sampleRate),

    RECORD(TVst3AudioBusBuffers, Steinberg_Vst_AudioBusBuffers),
    FIELD(TVst3AudioBusBuffers, NumChannels, Steinberg_Vst_AudioBusBuffers, numChannels),
    FIELD(TVst3AudioBusBuffers, SilenceFlags, Steinberg_Vst_AudioBusBuffers, silenceFlags),
    FIELD(TVst3AudioBusBuffers, Buffers32, Steinberg_Vst_AudioBusBuffers, Steinberg_Vst_AudioBusBuffers_channelBuffers32),
    FIELD(TVst3AudioBusBuffers, Buffers64, Steinberg_Vst_AudioBusBuffers, Steinberg_Vst_AudioBusBuffers_channelBuffers64),

    RECORD(TVst3Chord, Steinberg_Vst_Chord),
    FIELD(TVst3Chord, KeyNote, Steinberg_Vst_Chord, keyNote),
    FIELD(TVst3Chord, RootNote, Steinberg_Vst_Chord, rootNote),
    FIELD(TVst3Chord, ChordMask, Steinberg_Vst_Chord, chordMask),
    RECORD(TVst3FrameRate, Steinberg_Vst_FrameRate),
    FIELD(TVst3FrameRate, FramesPerSecond, Steinberg_Vst_FrameRate, framesPerSecond),
    FIELD(TVst3FrameRate, Flags, Steinberg_Vst_FrameRate, flags),

    RECORD(TVst3ProcessContext, Steinberg_Vst_ProcessContext),
    FIELD(TVst3ProcessContext, State, Steinberg_Vst_ProcessContext, state),
    FIELD(TVst3ProcessContext, SampleRate, Steinberg_Vst_ProcessContext, sampleRate),
    FIELD(TVst3ProcessContext, ProjectTimeSamples, Steinberg_Vst_ProcessContext, projectTimeSamples),
    FIELD(TVst3ProcessContext, SystemTime, Steinberg_Vst_ProcessContext, systemTime),
    FIELD(TVst3ProcessContext, ContinuousTimeSamples, Steinberg_Vst_ProcessContext, continousTimeSamples),
    FIELD(TVst3ProcessContext, ProjectTimeMusic, Steinberg_Vst_ProcessContext, projectTimeMusic),
    FIELD(TVst3ProcessContext, BarPositionMusic, Steinberg_Vst_ProcessContext, barPositionMusic),
    FIELD(TVst3ProcessContext, CycleStartMusic, Steinberg_Vst_ProcessContext, cycleStartMusic),
    FIELD(TVst3ProcessContext, CycleEndMusic, Steinberg_Vst_ProcessContext, cycleEndMusic),
    FIELD(TVst3ProcessContext, Tempo, Steinberg_Vst_ProcessContext, tempo),
    FIELD(TVst3ProcessContext, TimeSigNumerator, Steinberg_Vst_ProcessContext, timeSigNumerator),
    FIELD(TVst3ProcessContext, TimeSigDenominator, Steinberg_Vst_ProcessContext, timeSigDenominator),
    FIELD(TVst3ProcessContext, Chord, Steinberg_Vst_ProcessContext, chord),
    FIELD(TVst3ProcessContext, SmpteOffsetSubframes, Steinberg_Vst_ProcessContext, smpteOffsetSubframes),
    FIELD(TVst3ProcessContext, FrameRate, Steinberg_Vst_ProcessContext, frameRate),
    FIELD(TVst3ProcessContext, SamplesToNextClock, Steinberg_Vst_ProcessContext, samplesToNextClock),

    RECORD(TVst3ProcessData, Steinberg_Vst_ProcessData),
    FIELD(TVst3ProcessData, ProcessMode, Steinberg_Vst_ProcessData, processMode),
    FIELD(TVst3ProcessData, SymbolicSampleSize, Steinberg_Vst_ProcessData, symbolicSampleSize),
    FIELD(TVst3ProcessData, NumSamples, Steinberg_Vst_ProcessData, numSamples),
    FIELD(TVst3ProcessData, NumInputs, Steinberg_Vst_ProcessData, numInputs),
    FIELD(TVst3ProcessData, NumOutputs, Steinberg_Vst_ProcessData, numOutputs),
    FIELD(TVst3ProcessData, Inputs, Steinberg_Vst_ProcessData, inputs),
    FIELD(TVst3ProcessData, Outputs, Steinberg_Vst_ProcessData, outputs),
    FIELD(TVst3ProcessData, InputParameterChanges, Steinberg_Vst_ProcessData, inputParameterChanges),
    FIELD(TVst3ProcessData, OutputParameterChanges, Steinberg_Vst_ProcessData, outputParameterChanges),
    FIELD(TVst3ProcessData, InputEvents, Steinberg_Vst_ProcessData, inputEvents),
    FIELD(TVst3ProcessData, OutputEvents, Steinberg_Vst_ProcessData, outputEvents),
    FIELD(TVst3ProcessData, ProcessContext, Steinberg_Vst_ProcessData, processContext),

    // Interfaces: one pointer to their table.
    RECORD(TVst3Unknown, Steinberg_FUnknown),
    RECORD(TVst3Stream, Steinberg_IBStream),
    RECORD(TVst3PluginFactory, Steinberg_IPluginFactory3),
    RECORD(TVst3Component, Steinberg_Vst_IComponent),
    RECORD(TVst3AudioProcessor, Steinberg_Vst_IAudioProcessor),
    RECORD(TVst3ProcessContextRequirements, Steinberg_Vst_IProcessContextRequirements),
    RECORD(TVst3EditController, Steinberg_Vst_IEditController),
    RECORD(TVst3ConnectionPoint, Steinberg_Vst_IConnectionPoint),
    RECORD(TVst3ParamValueQueue, Steinberg_Vst_IParamValueQueue),
    RECORD(TVst3ParameterChanges, Steinberg_Vst_IParameterChanges),

    // Tables: as many slots, each in its place.
    RECORD(TVst3UnknownVtbl, Steinberg_FUnknownVtbl),
    UNKNOWN_SLOTS(TVst3UnknownVtbl, Steinberg_FUnknownVtbl),

    RECORD(TVst3StreamVtbl, Steinberg_IBStreamVtbl),
    UNKNOWN_SLOTS(TVst3StreamVtbl, Steinberg_IBStreamVtbl),
    SLOT(TVst3StreamVtbl, Read, Steinberg_IBStreamVtbl, read),
    SLOT(TVst3StreamVtbl, Write, Steinberg_IBStreamVtbl, write),
    SLOT(TVst3StreamVtbl, Seek, Steinberg_IBStreamVtbl, seek),
    SLOT(TVst3StreamVtbl, Tell, Steinberg_IBStreamVtbl, tell),

    RECORD(TVst3PluginBaseVtbl, Steinberg_IPluginBaseVtbl),
    UNKNOWN_SLOTS(TVst3PluginBaseVtbl, Steinberg_IPluginBaseVtbl),
    SLOT(TVst3PluginBaseVtbl, Initialize, Steinberg_IPluginBaseVtbl, initialize),
    SLOT(TVst3PluginBaseVtbl, Terminate, Steinberg_IPluginBaseVtbl, terminate),

    // Our one factory table is each of the three published ones, in part.
    UNKNOWN_SLOTS(TVst3PluginFactoryVtbl, Steinberg_IPluginFactoryVtbl),
    SLOT(TVst3PluginFactoryVtbl, GetFactoryInfo, Steinberg_IPluginFactoryVtbl, getFactoryInfo),
    SLOT(TVst3PluginFactoryVtbl, CountClasses, Steinberg_IPluginFactoryVtbl, countClasses),
    SLOT(TVst3PluginFactoryVtbl, GetClassInfo, Steinberg_IPluginFactoryVtbl, getClassInfo),
    SLOT(TVst3PluginFactoryVtbl, CreateInstance, Steinberg_IPluginFactoryVtbl, createInstance),
    SLOT(TVst3PluginFactoryVtbl, GetClassInfo2, Steinberg_IPluginFactory2Vtbl, getClassInfo2),
    RECORD(TVst3PluginFactoryVtbl, Steinberg_IPluginFactory3Vtbl),
    UNKNOWN_SLOTS(TVst3PluginFactoryVtbl, Steinberg_IPluginFactory3Vtbl),
    SLOT(TVst3PluginFactoryVtbl, GetFactoryInfo, Steinberg_IPluginFactory3Vtbl, getFactoryInfo),
    SLOT(TVst3PluginFactoryVtbl, CountClasses, Steinberg_IPluginFactory3Vtbl, countClasses),
    SLOT(TVst3PluginFactoryVtbl, GetClassInfo, Steinberg_IPluginFactory3Vtbl, getClassInfo),
    SLOT(TVst3PluginFactoryVtbl, CreateInstance, Steinberg_IPluginFactory3Vtbl, createInstance),
    SLOT(TVst3PluginFactoryVtbl, GetClassInfo2, Steinberg_IPluginFactory3Vtbl, getClassInfo2),
    SLOT(TVst3PluginFactoryVtbl, GetClassInfoUnicode, Steinberg_IPluginFactory3Vtbl, getClassInfoUnicode),
    SLOT(TVst3PluginFactoryVtbl, SetHostContext, Steinberg_IPluginFactory3Vtbl, setHostContext),
    Layout{"IPluginFactory2 is its first slots", sizeof(Steinberg_IPluginFactory2Vtbl),
           offsetof(TVst3PluginFactoryVtbl, GetClassInfoUnicode)},
    Layout{"IPluginFactory is its first slots", sizeof(Steinberg_IPluginFactoryVtbl),
           offsetof(TVst3PluginFactoryVtbl, GetClassInfo2)},

    RECORD(TVst3ComponentVtbl, Steinberg_Vst_IComponentVtbl),
    UNKNOWN_SLOTS(TVst3ComponentVtbl, Steinberg_Vst_IComponentVtbl),
    SLOT(TVst3ComponentVtbl, Initialize, Steinberg_Vst_IComponentVtbl, initialize),
    SLOT(TVst3ComponentVtbl, Terminate, Steinberg_Vst_IComponentVtbl, terminate),
    SLOT(TVst3ComponentVtbl, GetControllerClassId, Steinberg_Vst_IComponentVtbl, getControllerClassId),
    SLOT(TVst3ComponentVtbl, SetIoMode, Steinberg_Vst_IComponentVtbl, setIoMode),
    SLOT(TVst3ComponentVtbl, GetBusCount, Steinberg_Vst_IComponentVtbl, getBusCount),
    SLOT(TVst3ComponentVtbl, GetBusInfo, Steinberg_Vst_IComponentVtbl, getBusInfo),
    SLOT(TVst3ComponentVtbl, GetRoutingInfo, Steinberg_Vst_IComponentVtbl, getRoutingInfo),
    SLOT(TVst3ComponentVtbl, ActivateBus, Steinberg_Vst_IComponentVtbl, activateBus),
    SLOT(TVst3ComponentVtbl, SetActive, Steinberg_Vst_IComponentVtbl, setActive),
    SLOT(TVst3ComponentVtbl, SetState, Steinberg_Vst_IComponentVtbl, setState),
    SLOT(TVst3ComponentVtbl, GetState, Steinberg_Vst_IComponentVtbl, getState),

    RECORD(TVst3AudioProcessorVtbl, Steinberg_Vst_IAudioProcessorVtbl),
    UNKNOWN_SLOTS(TVst3AudioProcessorVtbl, Steinberg_Vst_IAudioProcessorVtbl),
    SLOT(TVst3AudioProcessorVtbl, SetBusArrangements, Steinberg_Vst_IAudioProcessorVtbl, setBusArrangements),
    SLOT(TVst3AudioProcessorVtbl, GetBusArrangement, Steinberg_Vst_IAudioProcessorVtbl, getBusArrangement),
    SLOT(TVst3AudioProcessorVtbl, CanProcessSampleSize, Steinberg_Vst_IAudioProcessorVtbl, canProcessSampleSize),
    SLOT(TVst3AudioProcessorVtbl, GetLatencySamples, Steinberg_Vst_IAudioProcessorVtbl, getLatencySamples),
    SLOT(TVst3AudioProcessorVtbl, SetupProcessing, Steinberg_Vst_IAudioProcessorVtbl, setupProcessing),
    SLOT(TVst3AudioProcessorVtbl, SetProcessing, Steinberg_Vst_IAudioProcessorVtbl, setProcessing),
    SLOT(TVst3AudioProcessorVtbl, Process, Steinberg_Vst_IAudioProcessorVtbl, process),
    SLOT(TVst3AudioProcessorVtbl, GetTailSamples, Steinberg_Vst_IAudioProcessorVtbl, getTailSamples),

    RECORD(TVst3ProcessContextRequirementsVtbl, Steinberg_Vst_IProcessContextRequirementsVtbl),
    UNKNOWN_SLOTS(TVst3ProcessContextRequirementsVtbl, Steinberg_Vst_IProcessContextRequirementsVtbl),
    SLOT(TVst3ProcessContextRequirementsVtbl, GetProcessContextRequirements,
         Steinberg_Vst_IProcessContextRequirementsVtbl, getProcessContextRequirements),

    RECORD(TVst3EditControllerVtbl, Steinberg_Vst_IEditControllerVtbl),
    UNKNOWN_SLOTS(TVst3EditControllerVtbl, Steinberg_Vst_IEditControllerVtbl),
    SLOT(TVst3EditControllerVtbl, Initialize, Steinberg_Vst_IEditControllerVtbl, initialize),
    SLOT(TVst3EditControllerVtbl, Terminate, Steinberg_Vst_IEditControllerVtbl, terminate),
    SLOT(TVst3EditControllerVtbl, SetComponentState, Steinberg_Vst_IEditControllerVtbl, setComponentState),
    SLOT(TVst3EditControllerVtbl, SetState, Steinberg_Vst_IEditControllerVtbl, setState),
    SLOT(TVst3EditControllerVtbl, GetState, Steinberg_Vst_IEditControllerVtbl, getState),
    SLOT(TVst3EditControllerVtbl, GetParameterCount, Steinberg_Vst_IEditControllerVtbl, getParameterCount),
    SLOT(TVst3EditControllerVtbl, GetParameterInfo, Steinberg_Vst_IEditControllerVtbl, getParameterInfo),
    SLOT(TVst3EditControllerVtbl, GetParamStringByValue, Steinberg_Vst_IEditControllerVtbl, getParamStringByValue),
    SLOT(TVst3EditControllerVtbl, GetParamValueByString, Steinberg_Vst_IEditControllerVtbl, getParamValueByString),
    SLOT(TVst3EditControllerVtbl, NormalizedParamToPlain, Steinberg_Vst_IEditControllerVtbl, normalizedParamToPlain),
    SLOT(TVst3EditControllerVtbl, PlainParamToNormalized, Steinberg_Vst_IEditControllerVtbl, plainParamToNormalized),
    SLOT(TVst3EditControllerVtbl, GetParamNormalized, Steinberg_Vst_IEditControllerVtbl, getParamNormalized),
    SLOT(TVst3EditControllerVtbl, SetParamNormalized, Steinberg_Vst_IEditControllerVtbl, setParamNormalized),
    SLOT(TVst3EditControllerVtbl, SetComponentHandler, Steinberg_Vst_IEditControllerVtbl, setComponentHandler),
    SLOT(TVst3EditControllerVtbl, CreateView, Steinberg_Vst_IEditControllerVtbl, createView),

    RECORD(TVst3ConnectionPointVtbl, Steinberg_Vst_IConnectionPointVtbl),
    UNKNOWN_SLOTS(TVst3ConnectionPointVtbl, Steinberg_Vst_IConnectionPointVtbl),
    SLOT(TVst3ConnectionPointVtbl, Connect, Steinberg_Vst_IConnectionPointVtbl, connect),
    SLOT(TVst3ConnectionPointVtbl, Disconnect, Steinberg_Vst_IConnectionPointVtbl, disconnect),
    SLOT(TVst3ConnectionPointVtbl, Notify, Steinberg_Vst_IConnectionPointVtbl, notify),

    RECORD(TVst3ParamValueQueueVtbl, Steinberg_Vst_IParamValueQueueVtbl),
    UNKNOWN_SLOTS(TVst3ParamValueQueueVtbl, Steinberg_Vst_IParamValueQueueVtbl),
    SLOT(TVst3ParamValueQueueVtbl, GetParameterId, Steinberg_Vst_IParamValueQueueVtbl, getParameterId),
    SLOT(TVst3ParamValueQueueVtbl, GetPointCount, Steinberg_Vst_IParamValueQueueVtbl, getPointCount),
    SLOT(TVst3ParamValueQueueVtbl, GetPoint, Steinberg_Vst_IParamValueQueueVtbl, getPoint),
    SLOT(TVst3ParamValueQueueVtbl, AddPoint, Steinberg_Vst_IParamValueQueueVtbl, addPoint),

    RECORD(TVst3ParameterChangesVtbl, Steinberg_Vst_IParameterChangesVtbl),
    UNKNOWN_SLOTS(TVst3ParameterChangesVtbl, Steinberg_Vst_IParameterChangesVtbl),
    SLOT(TVst3ParameterChangesVtbl, GetParameterCount, Steinberg_Vst_IParameterChangesVtbl, getParameterCount),
    SLOT(TVst3ParameterChangesVtbl, GetParameterData, Steinberg_Vst_IParameterChangesVtbl, getParameterData),
    SLOT(TVst3ParameterChangesVtbl, AddParameterData, Steinberg_Vst_IParameterChangesVtbl, addParameterData),
};

TEST(Vst3Abi, LayoutsAreThePublishedOnes) { ExpectPublished(kLayouts); }

struct Identifier {
    const char* what;
    const TVst3Uid& ours;
    const char* theirs;
};

const Identifier kIdentifiers[] = {
    {"FUnknown", kVst3UnknownIid, Steinberg_FUnknown_iid},
    {"IBStream", kVst3StreamIid, Steinberg_IBStream_iid},
    {"IPluginBase", kVst3PluginBaseIid, Steinberg_IPluginBase_iid},
    {"IPluginFactory", kVst3PluginFactoryIid, Steinberg_IPluginFactory_iid},
    {"IPluginFactory2", kVst3PluginFactory2Iid, Steinberg_IPluginFactory2_iid},
    {"IPluginFactory3", kVst3PluginFactory3Iid, Steinberg_IPluginFactory3_iid},
    {"IComponent", kVst3ComponentIid, Steinberg_Vst_IComponent_iid},
    {"IAudioProcessor", kVst3AudioProcessorIid, Steinberg_Vst_IAudioProcessor_iid},
    {"IProcessContextRequirements", kVst3ProcessContextRequirementsIid, Steinberg_Vst_IProcessContextRequirements_iid},
    {"IEditController", kVst3EditControllerIid, Steinberg_Vst_IEditController_iid},
    {"IConnectionPoint", kVst3ConnectionPointIid, Steinberg_Vst_IConnectionPoint_iid},
    {"IParamValueQueue", kVst3ParamValueQueueIid, Steinberg_Vst_IParamValueQueue_iid},
    {"IParameterChanges", kVst3ParameterChangesIid, Steinberg_Vst_IParameterChanges_iid},
};

TEST(Vst3Abi, InterfaceIdsAreThePublishedBytes) {
    for (const Identifier& id : kIdentifiers) {
        EXPECT_EQ(std::memcmp(id.ours.Bytes, id.theirs, 16), 0) << id.what;
        EXPECT_TRUE(id.ours.Is(id.theirs)) << id.what;
    }
}

const Constant kConstants[] = {
    CONSTANT(kVst3NoInterface, Steinberg_kNoInterface),
    CONSTANT(kVst3ResultOk, Steinberg_kResultOk),
    CONSTANT(kVst3ResultFalse, Steinberg_kResultFalse),
    CONSTANT(kVst3InvalidArgument, Steinberg_kInvalidArgument),
    CONSTANT(kVst3NotImplemented, Steinberg_kNotImplemented),
    CONSTANT(kVst3OutOfMemory, Steinberg_kOutOfMemory),
    CONSTANT(kVst3Distributable, Steinberg_Vst_ComponentFlags_kDistributable),
    CONSTANT(kVst3FactoryUnicode, Steinberg_PFactoryInfo_FactoryFlags_kUnicode),
    CONSTANT(kVst3ManyInstances, Steinberg_PClassInfo_ClassCardinality_kManyInstances),
    CONSTANT(kVst3Audio, Steinberg_Vst_MediaTypes_kAudio),
    CONSTANT(kVst3Event, Steinberg_Vst_MediaTypes_kEvent),
    CONSTANT(kVst3Input, Steinberg_Vst_BusDirections_kInput),
    CONSTANT(kVst3Output, Steinberg_Vst_BusDirections_kOutput),
    CONSTANT(kVst3MainBus, Steinberg_Vst_BusTypes_kMain),
    CONSTANT(kVst3BusDefaultActive, Steinberg_Vst_BusInfo_BusFlags_kDefaultActive),
    CONSTANT(kVst3ParamCanAutomate, Steinberg_Vst_ParameterInfo_ParameterFlags_kCanAutomate),
    CONSTANT(kVst3ParamIsList, Steinberg_Vst_ParameterInfo_ParameterFlags_kIsList),
    CONSTANT(kVst3Sample32, Steinberg_Vst_SymbolicSampleSizes_kSample32),
    CONSTANT(kVst3Sample64, Steinberg_Vst_SymbolicSampleSizes_kSample64),
    CONSTANT(kVst3Realtime, Steinberg_Vst_ProcessModes_kRealtime),
    CONSTANT(kVst3Offline, Steinberg_Vst_ProcessModes_kOffline),
    CONSTANT(kVst3ContextPlaying, Steinberg_Vst_ProcessContext_StatesAndFlags_kPlaying),
    CONSTANT(kVst3ContextRecording, Steinberg_Vst_ProcessContext_StatesAndFlags_kRecording),
    CONSTANT(kVst3ContextProjectTimeMusicValid, Steinberg_Vst_ProcessContext_StatesAndFlags_kProjectTimeMusicValid),
    CONSTANT(kVst3ContextTempoValid, Steinberg_Vst_ProcessContext_StatesAndFlags_kTempoValid),
    CONSTANT(kVst3ContextTimeSigValid, Steinberg_Vst_ProcessContext_StatesAndFlags_kTimeSigValid),
    CONSTANT(kVst3NeedProjectTimeMusic, Steinberg_Vst_IProcessContextRequirements_Flags_kNeedProjectTimeMusic),
    CONSTANT(kVst3NeedTempo, Steinberg_Vst_IProcessContextRequirements_Flags_kNeedTempo),
    CONSTANT(kVst3NeedTimeSignature, Steinberg_Vst_IProcessContextRequirements_Flags_kNeedTimeSignature),
    CONSTANT(kVst3NeedTransportState, Steinberg_Vst_IProcessContextRequirements_Flags_kNeedTransportState),
    CONSTANT(kVst3SeekSet, Steinberg_IBStream_IStreamSeekMode_kIBSeekSet),
    CONSTANT(kVst3SeekCur, Steinberg_IBStream_IStreamSeekMode_kIBSeekCur),
    CONSTANT(kVst3SeekEnd, Steinberg_IBStream_IStreamSeekMode_kIBSeekEnd),
    CONSTANT(kVst3Ambisonics3rdOrder, Steinberg_Vst_SpeakerArr_kAmbi3rdOrderACN),
    CONSTANT(kVst3Surround91_6, Steinberg_Vst_SpeakerArr_k91_6),
    CONSTANT(kVst3Surround91_6Wide, Steinberg_Vst_SpeakerArr_k91_6_W),
};

TEST(Vst3Abi, ConstantsAreThePublishedOnes) { ExpectPublished(kConstants); }

}  // namespace
