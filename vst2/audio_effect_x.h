// The extended protocol: the opcodes and host calls added to the base set.
#pragma once

#include "audio_effect.h"

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    void resume() override;

    virtual bool canParameterBeAutomated(VstInt32 index);
    virtual bool string2parameter(VstInt32 index, char* text);
    virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* properties);
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text);
    virtual bool beginSetProgram();
    virtual bool endSetProgram();
    virtual VstInt32 beginLoadBank(VstPatchChunkInfo* info);
    virtual VstInt32 beginLoadProgram(VstPatchChunkInfo* info);
    virtual bool ioChanged();
    virtual double updateSampleRate();
    virtual VstInt32 updateBlockSize();
    virtual VstInt32 getInputLatency();
    virtual VstInt32 getOutputLatency();
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties);
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties);
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output);
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output);
    virtual bool setBypass(bool onOff);
    virtual bool setPanLaw(VstInt32 type, float value);
    virtual bool setProcessPrecision(VstInt32 precision);
    virtual VstInt32 getNumMidiInputChannels();
    virtual VstInt32 getNumMidiOutputChannels();
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
    virtual VstInt32 getCurrentProcessLevel();
    virtual VstInt32 getAutomationState();
    virtual VstInt32 processEvents(VstEvents* events);
    virtual VstInt32 startProcess();
    virtual VstInt32 stopProcess();
    virtual bool processVariableIo(VstVariableIo* varIo);
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value);
    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual VstInt32 getHostVendorVersion();
    virtual VstIntPtr hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg, float floatArg);
    virtual bool canHostDo(char* text);
    virtual VstInt32 getHostLanguage();
    virtual void isSynth(bool state = true);
    virtual void noTail(bool state = true);
    virtual VstInt32 getGetTailSize();
    virtual void* getDirectory();
    virtual bool getEffectName(char* name);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual VstInt32 getVendorVersion();
    virtual VstIntPtr vendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg, float floatArg);
    virtual VstInt32 canDo(char* text);
    virtual VstInt32 getVstVersion();
    virtual VstPlugCategory getPlugCategory();
    virtual VstInt32 getMidiProgramName(VstInt32 channel, MidiProgramName* name);
    virtual VstInt32 getCurrentMidiProgram(VstInt32 channel, MidiProgramName* current);
    virtual VstInt32 getMidiProgramCategory(VstInt32 channel, MidiProgramCategory* category);
    virtual bool hasMidiProgramsChanged(VstInt32 channel);
    virtual bool getMidiKeyName(VstInt32 channel, MidiKeyName* keyName);
    virtual bool updateDisplay();
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
    virtual bool openFileSelector(VstFileSelect* selector);
    virtual bool closeFileSelector(VstFileSelect* selector);
    virtual VstInt32 getNextShellPlugin(char* name);
    virtual bool allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 channels);
    virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement);
    virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from);
    virtual bool matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from);
    virtual bool offlineRead(VstOfflineTask* task, VstInt32 option, bool readSource = true);
    virtual bool offlineWrite(VstOfflineTask* task, VstInt32 option);
    virtual bool offlineStart(VstAudioFile* files, VstInt32 count, VstInt32 newCount);
    virtual bool offlineGetCurrentPass();
    virtual bool offlineGetCurrentMetaPass();
    virtual bool offlineNotify(VstAudioFile* files, VstInt32 count, bool start);
    virtual bool offlinePrepare(VstOfflineTask* tasks, VstInt32 count);
    virtual bool offlineRun(VstOfflineTask* tasks, VstInt32 count);

    // Operations the protocol has retired; kept, each with the answer it always gave.
    virtual VstInt32 retiredAnswerZero1();
    virtual VstInt32 retiredAnswerZero2();
    virtual VstInt32 wantEvents(VstInt32 filter = 1);
    virtual VstInt32 tempoAt(VstInt32 position);
    virtual VstInt32 getNumAutomatableParameters();
    virtual VstInt32 getParameterQuantization();
    virtual VstInt32 retiredAnswerOne();
    virtual VstInt32 retiredAnswerZero3();
    virtual bool needIdle();
    virtual AEffect* getPreviousPlug(VstInt32 input);
    virtual AEffect* getNextPlug(VstInt32 output);
    virtual void retiredNothing1();
    virtual void retiredNothing2();
    virtual VstInt32 willProcessReplacing();
    virtual void setExtIsAsync(bool state = true);
    virtual void setExtHasBuffer(bool state = true);
    virtual VstInt32 retiredAnswerZero4();
    virtual VstInt32 retiredAnswerZero5();
    virtual void setOutputSamplerate(float sampleRate);
    virtual VstSpeakerArrangement* getInputSpeakerArrangement();
    virtual VstSpeakerArrangement* getOutputSpeakerArrangement();
    virtual VstIntPtr openWindow(void* window);
    virtual bool closeWindow(void* window);
    virtual void setBlockSizeAndSampleRate(VstInt32 blockSize, float sampleRate);
    virtual VstInt32 retiredAnswerZero6();
    virtual VstInt32 retiredAnswerZero7();
    virtual VstInt32 retiredAnswerZero8();
    virtual VstInt32 retiredAnswerZero9();
    virtual VstInt32 retiredAnswerZero10();
    virtual bool getChunkFile(void* nativePath);

    // Not a table slot: sends events to the host; true when the host answers 1.
    bool sendVstEventsToHost(VstEvents* events);
};
