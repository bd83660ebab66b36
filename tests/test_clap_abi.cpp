// Our CLAP declarations against the published headers: every record's size,
// every field's offset and size, every identifier and every constant. Built
// only where the published headers are at hand, for each target we build.
#include <gtest/gtest.h>

#include <clap/clap.h>

#include <string>

#include "abi_layout.h"
#include "clap_abi.h"

namespace {

const Layout kLayouts[] = {
    RECORD(TClapVersion, clap_version_t),
    FIELD(TClapVersion, Major, clap_version_t, major),
    FIELD(TClapVersion, Minor, clap_version_t, minor),
    FIELD(TClapVersion, Revision, clap_version_t, revision),

    RECORD(TClapIStream, clap_istream_t),
    FIELD(TClapIStream, Context, clap_istream_t, ctx),
    FIELD(TClapIStream, Read, clap_istream_t, read),
    RECORD(TClapOStream, clap_ostream_t),
    FIELD(TClapOStream, Context, clap_ostream_t, ctx),
    FIELD(TClapOStream, Write, clap_ostream_t, write),

    RECORD(TClapEventHeader, clap_event_header_t),
    FIELD(TClapEventHeader, Size, clap_event_header_t, size),
    FIELD(TClapEventHeader, Time, clap_event_header_t, time),
    FIELD(TClapEventHeader, SpaceId, clap_event_header_t, space_id),
    FIELD(TClapEventHeader, Type, clap_event_header_t, type),
    FIELD(TClapEventHeader, Flags, clap_event_header_t, flags),

    RECORD(TClapEventParamValue, clap_event_param_value_t),
    FIELD(TClapEventParamValue, Header, clap_event_param_value_t, header),
    FIELD(TClapEventParamValue, ParamId, clap_event_param_value_t, param_id),
    FIELD(TClapEventParamValue, Cookie, clap_event_param_value_t, cookie),
    FIELD(TClapEventParamValue, NoteId, clap_event_param_value_t, note_id),
    FIELD(TClapEventParamValue, PortIndex, clap_event_param_value_t, port_index),
    FIELD(TClapEventParamValue, Channel, clap_event_param_value_t, channel),
    FIELD(TClapEventParamValue, Key, clap_event_param_value_t, key),
    FIELD(TClapEventParamValue, Value, clap_event_param_value_t, value),

    RECORD(TClapEventTransport, clap_event_transport_t),
    FIELD(TClapEventTransport, Header, clap_event_transport_t, header),
    FIELD(TClapEventTransport, Flags, clap_event_transport_t, flags),
    FIELD(TClapEventTransport, SongPosBeats, clap_event_transport_t, song_pos_beats),
    FIELD(TClapEventTransport, SongPosSeconds, clap_event_transport_t, song_pos_seconds),
    FIELD(TClapEventTransport, Tempo, clap_event_transport_t, tempo),
    FIELD(TClapEventTransport, TempoIncrement, clap_event_transport_t, tempo_inc),
    FIELD(TClapEventTransport, LoopStartBeats, clap_event_transport_t, loop_start_beats),
    FIELD(TClapEventTransport, LoopEndBeats, clap_event_transport_t, loop_end_beats),
    FIELD(TClapEventTransport, LoopStartSeconds, clap_event_transport_t, loop_start_seconds),
    FIELD(TClapEventTransport, LoopEndSeconds, clap_event_transport_t, loop_end_seconds),
    FIELD(TClapEventTransport, BarStart, clap_event_transport_t, bar_start),
    FIELD(TClapEventTransport, BarNumber, clap_event_transport_t, bar_number),
    FIELD(TClapEventTransport, TimeSigNumerator, clap_event_transport_t, tsig_num),
    FIELD(TClapEventTransport, TimeSigDenominator, clap_event_transport_t, tsig_denom),

    RECORD(TClapInputEvents, clap_input_events_t),
    FIELD(TClapInputEvents, Context, clap_input_events_t, ctx),
    FIELD(TClapInputEvents, Size, clap_input_events_t, size),
    FIELD(TClapInputEvents, Get, clap_input_events_t, get),
    RECORD(TClapOutputEvents, clap_output_events_t),
    FIELD(TClapOutputEvents, Context, clap_output_events_t, ctx),
    FIELD(TClapOutputEvents, TryPush, clap_output_events_t, try_push),

    RECORD(TClapAudioBuffer, clap_audio_buffer_t),
    FIELD(TClapAudioBuffer, Data32, clap_audio_buffer_t, data32),
    FIELD(TClapAudioBuffer, Data64, clap_audio_buffer_t, data64),
    FIELD(TClapAudioBuffer, ChannelCount, clap_audio_buffer_t, channel_count),
    FIELD(TClapAudioBuffer, Latency, clap_audio_buffer_t, latency),
    FIELD(TClapAudioBuffer, ConstantMask, clap_audio_buffer_t, constant_mask),

    RECORD(TClapProcess, clap_process_t),
    FIELD(TClapProcess, SteadyTime, clap_process_t, steady_time),
    FIELD(TClapProcess, FramesCount, clap_process_t, frames_count),
    FIELD(TClapProcess, Transport, clap_process_t, transport),
    FIELD(TClapProcess, AudioInputs, clap_process_t, audio_inputs),
    FIELD(TClapProcess, AudioOutputs, clap_process_t, audio_outputs),
    FIELD(TClapProcess, AudioInputsCount, clap_process_t, audio_inputs_count),
    FIELD(TClapProcess, AudioOutputsCount, clap_process_t, audio_outputs_count),
    FIELD(TClapProcess, InEvents, clap_process_t, in_events),
    FIELD(TClapProcess, OutEvents, clap_process_t, out_events),

    RECORD(TClapHost, clap_host_t),
    FIELD(TClapHost, ClapVersion, clap_host_t, clap_version),
    FIELD(TClapHost, HostData, clap_host_t, host_data),
    FIELD(TClapHost, Name, clap_host_t, name),
    FIELD(TClapHost, Vendor, clap_host_t, vendor),
    FIELD(TClapHost, Url, clap_host_t, url),
    FIELD(TClapHost, Version, clap_host_t, version),
    FIELD(TClapHost, GetExtension, clap_host_t, get_extension),
    FIELD(TClapHost, RequestRestart, clap_host_t, request_restart),
    FIELD(TClapHost, RequestProcess, clap_host_t, request_process),
    FIELD(TClapHost, RequestCallback, clap_host_t, request_callback),

    RECORD(TClapPluginDescriptor, clap_plugin_descriptor_t),
    FIELD(TClapPluginDescriptor, ClapVersion, clap_plugin_descriptor_t, clap_version),
    FIELD(TClapPluginDescriptor, Id, clap_plugin_descriptor_t, id),
    FIELD(TClapPluginDescriptor, Name, clap_plugin_descriptor_t, name),
    FIELD(TClapPluginDescriptor, Vendor, clap_plugin_descriptor_t, vendor),
    FIELD(TClapPluginDescriptor, Url, clap_plugin_descriptor_t, url),
    FIELD(TClapPluginDescriptor, ManualUrl, clap_plugin_descriptor_t, manual_url),
    FIELD(TClapPluginDescriptor, SupportUrl, clap_plugin_descriptor_t, support_url),
    FIELD(TClapPluginDescriptor, Version, clap_plugin_descriptor_t, version),
    FIELD(TClapPluginDescriptor, Description, clap_plugin_descriptor_t, description),
    FIELD(TClapPluginDescriptor, Features, clap_plugin_descriptor_t, features),

    RECORD(TClapPlugin, clap_plugin_t),
    FIELD(TClapPlugin, Descriptor, clap_plugin_t, desc),
    FIELD(TClapPlugin, PluginData, clap_plugin_t, plugin_data),
    FIELD(TClapPlugin, Init, clap_plugin_t, init),
    FIELD(TClapPlugin, Destroy, clap_plugin_t, destroy),
    FIELD(TClapPlugin, Activate, clap_plugin_t, activate),
    FIELD(TClapPlugin, Deactivate, clap_plugin_t, deactivate),
    FIELD(TClapPlugin, StartProcessing, clap_plugin_t, start_processing),
    FIELD(TClapPlugin, StopProcessing, clap_plugin_t, stop_processing),
    FIELD(TClapPlugin, Reset, clap_plugin_t, reset),
    FIELD(TClapPlugin, Process, clap_plugin_t, process),
    FIELD(TClapPlugin, GetExtension, clap_plugin_t, get_extension),
    FIELD(TClapPlugin, OnMainThread, clap_plugin_t, on_main_thread),

    RECORD(TClapPluginFactory, clap_plugin_factory_t),
    FIELD(TClapPluginFactory, GetPluginCount, clap_plugin_factory_t, get_plugin_count),
    FIELD(TClapPluginFactory, GetPluginDescriptor, clap_plugin_factory_t, get_plugin_descriptor),
    FIELD(TClapPluginFactory, CreatePlugin, clap_plugin_factory_t, create_plugin),

    RECORD(TClapPluginEntry, clap_plugin_entry_t),
    FIELD(TClapPluginEntry, ClapVersion, clap_plugin_entry_t, clap_version),
    FIELD(TClapPluginEntry, Init, clap_plugin_entry_t, init),
    FIELD(TClapPluginEntry, Deinit, clap_plugin_entry_t, deinit),
    FIELD(TClapPluginEntry, GetFactory, clap_plugin_entry_t, get_factory),

    RECORD(TClapAudioPortInfo, clap_audio_port_info_t),
    FIELD(TClapAudioPortInfo, Id, clap_audio_port_info_t, id),
    FIELD(TClapAudioPortInfo, Name, clap_audio_port_info_t, name),
    FIELD(TClapAudioPortInfo, Flags, clap_audio_port_info_t, flags),
    FIELD(TClapAudioPortInfo, ChannelCount, clap_audio_port_info_t, channel_count),
    FIELD(TClapAudioPortInfo, PortType, clap_audio_port_info_t, port_type),
    FIELD(TClapAudioPortInfo, InPlacePair, clap_audio_port_info_t, in_place_pair),
    RECORD(TClapPluginAudioPorts, clap_plugin_audio_ports_t),
    FIELD(TClapPluginAudioPorts, Count, clap_plugin_audio_ports_t, count),
    FIELD(TClapPluginAudioPorts, Get, clap_plugin_audio_ports_t, get),

    RECORD(TClapParamInfo, clap_param_info_t),
    FIELD(TClapParamInfo, Id, clap_param_info_t, id),
    FIELD(TClapParamInfo, Flags, clap_param_info_t, flags),
    FIELD(TClapParamInfo, Cookie, clap_param_info_t, cookie),
    FIELD(TClapParamInfo, Name, clap_param_info_t, name),
    FIELD(TClapParamInfo, Module, clap_param_info_t, module),
    FIELD(TClapParamInfo, MinValue, clap_param_info_t, min_value),
    FIELD(TClapParamInfo, MaxValue, clap_param_info_t, max_value),
    FIELD(TClapParamInfo, DefaultValue, clap_param_info_t, default_value),
    RECORD(TClapPluginParams, clap_plugin_params_t),
    FIELD(TClapPluginParams, Count, clap_plugin_params_t, count),
    FIELD(TClapPluginParams, GetInfo, clap_plugin_params_t, get_info),
    FIELD(TClapPluginParams, GetValue, clap_plugin_params_t, get_value),
    FIELD(TClapPluginParams, ValueToText, clap_plugin_params_t, value_to_text),
    FIELD(TClapPluginParams, TextToValue, clap_plugin_params_t, text_to_value),
    FIELD(TClapPluginParams, Flush, clap_plugin_params_t, flush),
    RECORD(TClapHostParams, clap_host_params_t),
    FIELD(TClapHostParams, Rescan, clap_host_params_t, rescan),
    FIELD(TClapHostParams, Clear, clap_host_params_t, clear),
    FIELD(TClapHostParams, RequestFlush, clap_host_params_t, request_flush),

    RECORD(TClapPluginState, clap_plugin_state_t),
    FIELD(TClapPluginState, Save, clap_plugin_state_t, save),
    FIELD(TClapPluginState, Load, clap_plugin_state_t, load),
    RECORD(TClapHostState, clap_host_state_t),
    FIELD(TClapHostState, MarkDirty, clap_host_state_t, mark_dirty),

    RECORD(TClapPluginLatency, clap_plugin_latency_t),
    FIELD(TClapPluginLatency, Get, clap_plugin_latency_t, get),
    RECORD(TClapHostLatency, clap_host_latency_t),
    FIELD(TClapHostLatency, Changed, clap_host_latency_t, changed),

    RECORD(TClapHostLog, clap_host_log_t),
    FIELD(TClapHostLog, Log, clap_host_log_t, log),
    RECORD(TClapHostThreadCheck, clap_host_thread_check_t),
    FIELD(TClapHostThreadCheck, IsMainThread, clap_host_thread_check_t, is_main_thread),
    FIELD(TClapHostThreadCheck, IsAudioThread, clap_host_thread_check_t, is_audio_thread),
};

const Constant kConstants[] = {
    CONSTANT(kClapInvalidId, CLAP_INVALID_ID),
    CONSTANT(kClapVersion.Major, CLAP_VERSION.major),
    CONSTANT(kClapVersion.Minor, CLAP_VERSION.minor),
    CONSTANT(kClapVersion.Revision, CLAP_VERSION.revision),
    CONSTANT(kClapNameSize, CLAP_NAME_SIZE),
    CONSTANT(kClapPathSize, CLAP_PATH_SIZE),
    CONSTANT(kClapBeatTimeFactor, CLAP_BEATTIME_FACTOR),
    CONSTANT(kClapCoreEventSpaceId, CLAP_CORE_EVENT_SPACE_ID),
    CONSTANT(kClapEventNoteOn, CLAP_EVENT_NOTE_ON),
    CONSTANT(kClapEventParamValue, CLAP_EVENT_PARAM_VALUE),
    CONSTANT(kClapEventParamMod, CLAP_EVENT_PARAM_MOD),
    CONSTANT(kClapEventTransport, CLAP_EVENT_TRANSPORT),
    CONSTANT(kClapTransportHasTempo, CLAP_TRANSPORT_HAS_TEMPO),
    CONSTANT(kClapTransportHasBeatsTimeline, CLAP_TRANSPORT_HAS_BEATS_TIMELINE),
    CONSTANT(kClapTransportHasSecondsTimeline, CLAP_TRANSPORT_HAS_SECONDS_TIMELINE),
    CONSTANT(kClapTransportHasTimeSignature, CLAP_TRANSPORT_HAS_TIME_SIGNATURE),
    CONSTANT(kClapTransportIsPlaying, CLAP_TRANSPORT_IS_PLAYING),
    CONSTANT(kClapTransportIsRecording, CLAP_TRANSPORT_IS_RECORDING),
    CONSTANT(kClapTransportIsLoopActive, CLAP_TRANSPORT_IS_LOOP_ACTIVE),
    CONSTANT(kClapTransportIsWithinPreRoll, CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL),
    CONSTANT(kClapProcessError, CLAP_PROCESS_ERROR),
    CONSTANT(kClapProcessContinue, CLAP_PROCESS_CONTINUE),
    CONSTANT(kClapProcessContinueIfNotQuiet, CLAP_PROCESS_CONTINUE_IF_NOT_QUIET),
    CONSTANT(kClapProcessTail, CLAP_PROCESS_TAIL),
    CONSTANT(kClapProcessSleep, CLAP_PROCESS_SLEEP),
    CONSTANT(kClapAudioPortIsMain, CLAP_AUDIO_PORT_IS_MAIN),
    CONSTANT(kClapAudioPortSupports64Bits, CLAP_AUDIO_PORT_SUPPORTS_64BITS),
    CONSTANT(kClapAudioPortPrefers64Bits, CLAP_AUDIO_PORT_PREFERS_64BITS),
    CONSTANT(kClapAudioPortRequiresCommonSampleSize, CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE),
    CONSTANT(kClapParamIsStepped, CLAP_PARAM_IS_STEPPED),
    CONSTANT(kClapParamIsPeriodic, CLAP_PARAM_IS_PERIODIC),
    CONSTANT(kClapParamIsHidden, CLAP_PARAM_IS_HIDDEN),
    CONSTANT(kClapParamIsReadonly, CLAP_PARAM_IS_READONLY),
    CONSTANT(kClapParamIsBypass, CLAP_PARAM_IS_BYPASS),
    CONSTANT(kClapParamIsAutomatable, CLAP_PARAM_IS_AUTOMATABLE),
    CONSTANT(kClapParamIsModulatable, CLAP_PARAM_IS_MODULATABLE),
    CONSTANT(kClapParamRequiresProcess, CLAP_PARAM_REQUIRES_PROCESS),
    CONSTANT(kClapParamIsEnum, CLAP_PARAM_IS_ENUM),
    CONSTANT(kClapParamRescanValues, CLAP_PARAM_RESCAN_VALUES),
    CONSTANT(kClapParamRescanText, CLAP_PARAM_RESCAN_TEXT),
    CONSTANT(kClapParamRescanInfo, CLAP_PARAM_RESCAN_INFO),
    CONSTANT(kClapParamRescanAll, CLAP_PARAM_RESCAN_ALL),
    CONSTANT(kClapLogDebug, CLAP_LOG_DEBUG),
    CONSTANT(kClapLogInfo, CLAP_LOG_INFO),
    CONSTANT(kClapLogWarning, CLAP_LOG_WARNING),
    CONSTANT(kClapLogError, CLAP_LOG_ERROR),
    CONSTANT(kClapLogFatal, CLAP_LOG_FATAL),
    CONSTANT(kClapLogHostMisbehaving, CLAP_LOG_HOST_MISBEHAVING),
    CONSTANT(kClapLogPluginMisbehaving, CLAP_LOG_PLUGIN_MISBEHAVING),
};

struct Identifier {
    const char* what;
    std::string ours, theirs;
};

#define IDENTIFIER(ours, theirs) Identifier{#ours, ours, theirs}

const Identifier kIdentifiers[] = {
    IDENTIFIER(kClapPluginFactoryId, CLAP_PLUGIN_FACTORY_ID),
    IDENTIFIER(kClapFeatureAudioEffect, CLAP_PLUGIN_FEATURE_AUDIO_EFFECT),
    IDENTIFIER(kClapFeatureUtility, CLAP_PLUGIN_FEATURE_UTILITY),
    IDENTIFIER(kClapExtAudioPorts, CLAP_EXT_AUDIO_PORTS),
    IDENTIFIER(kClapExtParams, CLAP_EXT_PARAMS),
    IDENTIFIER(kClapExtState, CLAP_EXT_STATE),
    IDENTIFIER(kClapExtLatency, CLAP_EXT_LATENCY),
    IDENTIFIER(kClapExtLog, CLAP_EXT_LOG),
    IDENTIFIER(kClapExtThreadCheck, CLAP_EXT_THREAD_CHECK),
};

}  // namespace

TEST(ClapAbi, RecordsHaveThePublishedLayout) { ExpectPublished(kLayouts); }

TEST(ClapAbi, ConstantsHaveThePublishedValues) { ExpectPublished(kConstants); }

TEST(ClapAbi, IdentifiersAreThePublishedOnes) { ExpectPublished(kIdentifiers); }
