#pragma once
// Every setting of the program, declared once with its default. Read and write them through
// LSettingsStore::Read and Write (app/settings_store.h).
//
// Settings marked kMachine form the machine-wide group: they are read from the user's file
// with a fall-back to the machine file, and written to the machine file first and then to the
// user's file.

#include <array>
#include <climits>
#include <variant>

#include "platform/paths.h"
#include "settings/setting.h"

namespace klangor {

inline constexpr std::string_view kSettingsSection = "Settings";
inline constexpr std::string_view kMainWindowSection = "MainWindow";
inline constexpr std::string_view kRecentSection = "Recent";
inline constexpr std::string_view kPlayerSection = "Player";
inline constexpr std::string_view kRecorderSection = "Recorder";
inline constexpr std::string_view kEffectsBarSection = "EBar";  // one flag per effects-bar entry
inline constexpr std::string_view kVoxAudioSection = "VoxAudio";
inline constexpr std::string_view kRawAudioSection = "RawAudio";
// The last values of command and effect parameters, shared with the batch processor.
inline constexpr std::string_view kStoredValuesSection = "StoredValues";

inline constexpr LSettingScope kMachine = LSettingScope::kMachineWide;
inline constexpr LSettingScope kUserOnly = LSettingScope::kUser;

// "EQWindowX" and "EQWindowY" hold this until the equalizer window was placed once.
inline constexpr int32_t kNoWindowPosition = INT32_MIN;

// --- Section "Settings" ---

inline constexpr LBoolSetting kUseDefaultWorkingDir{kSettingsSection, "UseDefaultWorkingDir", true};
// The working folder when the default one is not used; empty stands for the default working
// folder (see ChooseWorkingFolder).
inline constexpr LStringSetting kWorkingFolder{kSettingsSection, "WorkingFolder", "", kUserOnly,
                                               kMaxPathLength};
// 0 the system's default output, n the n-th device.
inline constexpr LIntSetting kSoundOutDevice{kSettingsSection, "SoundOutDevice", 0, kMachine};
inline constexpr LIntSetting kPlaySpeed{kSettingsSection, "PlaySpeed", 1};  // 0 slow, 1 normal, 2 fast
inline constexpr LBoolSetting kPlayRepeat{kSettingsSection, "PlayRepeat", false};
inline constexpr LBoolSetting kReduceVolWhenRewind{kSettingsSection, "ReduceVolWhenRewind", false};
inline constexpr LBoolSetting kPlayWhenOpen{kSettingsSection, "PlayWhenOpen", true};
inline constexpr LBoolSetting kAutoArrangeWindows{kSettingsSection, "AutoArrangeWindows", true};
inline constexpr LBoolSetting kAutoPlaybackAfterEffects{kSettingsSection, "AutoPlaybackAfterEffects", true};
inline constexpr LIntSetting kAutoTrimThreshold{kSettingsSection, "AutoTrimThreshold", -20};  // dB
inline constexpr LBoolSetting kPlayBookMark{kSettingsSection, "PlayBookMark", false};
inline constexpr LBoolSetting kPlayRegion{kSettingsSection, "PlayRegion", false};
inline constexpr LBoolSetting kPromptSampleAndChannels{kSettingsSection, "PromptSampleAndChannels", true};
inline constexpr LIntSetting kDefaultSampleRate{kSettingsSection, "DefaultSampleRate", 44100};
inline constexpr LIntSetting kDefaultChannels{kSettingsSection, "DefaultChannels", 1};
inline constexpr LIntSetting kSelectedSampleRate{kSettingsSection, "SelectedSampleRate", 44100};
inline constexpr LIntSetting kSelectedChannels{kSettingsSection, "SelectedChannels", 1};
inline constexpr LBoolSetting kAddToWEContext{kSettingsSection, "AddToWEContext", true};
inline constexpr LBoolSetting kShowMainToolbar{kSettingsSection, "ShowMainToolbar", true};
inline constexpr LBoolSetting kShowCommandBar{kSettingsSection, "ShowCommandBar", true};
inline constexpr LBoolSetting kShowCommandBarLeft{kSettingsSection, "ShowCommandBarLeft", true};
inline constexpr LBoolSetting kShowEffectsToolbar{kSettingsSection, "ShowEffectsToolbar", true};
// The last folders of the file dialogs.
inline constexpr LStringSetting kOpenFileDir{kSettingsSection, "OpenFileDir", "", kUserOnly, kMaxPathLength};
inline constexpr LStringSetting kSaveAsDir{kSettingsSection, "SaveAsDir", "", kUserOnly, kMaxPathLength};
inline constexpr LStringSetting kSaveProjectAsDir{kSettingsSection, "SaveProjectAsDir", "", kUserOnly,
                                                  kMaxPathLength};
inline constexpr LStringSetting kInsertFileDir{kSettingsSection, "InsertFileDir", "", kUserOnly,
                                               kMaxPathLength};
inline constexpr LStringSetting kMixFileDir{kSettingsSection, "MixFileDir", "", kUserOnly, kMaxPathLength};
inline constexpr LStringSetting kSaveRegionDir{kSettingsSection, "SaveRegionDir", "", kUserOnly,
                                               kMaxPathLength};
inline constexpr LStringSetting kLoadFromFolder{kSettingsSection, "LoadFromFolder", "", kUserOnly,
                                                kMaxPathLength};
inline constexpr LStringSetting kExportRegionFolder{kSettingsSection, "ExportRegionFolder", "", kUserOnly,
                                                    kMaxPathLength};
inline constexpr LStringSetting kVSTFolder{kSettingsSection, "VSTFolder", "", kUserOnly, kMaxPathLength};
inline constexpr LStringSetting kSaveAsFormat{kSettingsSection, "SaveAsFormat", "wav"};
inline constexpr LIntSetting kExportRegionFormat{kSettingsSection, "ExportRegionFormat", 0};
inline constexpr LBoolSetting kAutoGap{kSettingsSection, "AutoGap", true};
inline constexpr LIntSetting kAutoGapTime{kSettingsSection, "AutoGapTime", 300};
inline constexpr LBoolSetting kUseFreeDB{kSettingsSection, "UseFreeDB", true};
inline constexpr LIntSetting kClickSensitivity{kSettingsSection, "ClickSensitivity", 50};  // percent
// One stored value with two defaults: the click detector uses 150 microseconds when nothing is
// stored, the manual click dialog shows 450.
inline constexpr LIntSetting kMaxClickLength{kSettingsSection, "MaxClickLength", 150};
inline constexpr LIntSetting kMaxClickLengthInDialog{kSettingsSection, "MaxClickLength", 450};
inline constexpr LBoolSetting kGridToggle{kSettingsSection, "GridToggle", true};
inline constexpr LBoolSetting kTFFTFullZoomOn{kSettingsSection, "TFFTFullZoomOn", false};
inline constexpr LIntSetting kTFFTVScroll{kSettingsSection, "TFFTVScroll", 25};
inline constexpr LIntSetting kEQWindowX{kSettingsSection, "EQWindowX", kNoWindowPosition};
inline constexpr LIntSetting kEQWindowY{kSettingsSection, "EQWindowY", kNoWindowPosition};
inline constexpr LIntSetting kTextToSpeechVoice{kSettingsSection, "TextToSpeechVoice", 0, kMachine};
inline constexpr LIntSetting kSendMethod{kSettingsSection, "SendMethod", 0};  // 0 e-mail, 1 FTP
// The command lines written for the file manager's context-menu entries.
inline constexpr LStringSetting kRunEdit{kSettingsSection, "RunEdit", "", kUserOnly, kMaxPathLength};
inline constexpr LStringSetting kRunLoad{kSettingsSection, "RunLoad", "", kUserOnly, kMaxPathLength};

// --- Section "MainWindow" ---

inline constexpr LIntSetting kMainWindowX{kMainWindowSection, "X", 160};
inline constexpr LIntSetting kMainWindowY{kMainWindowSection, "Y", 80};
inline constexpr LIntSetting kMainWindowWidth{kMainWindowSection, "Width", 740};
inline constexpr LIntSetting kMainWindowHeight{kMainWindowSection, "Height", 627};
inline constexpr LBoolSetting kMainWindowMaximized{kMainWindowSection, "Maximized", true};

// --- Section "Recent": slot n (1..11) is kRecentFile[n - 1] and kRecentFileDate[n - 1] ---

inline constexpr int kRecentFileSlots = 11;
inline constexpr std::array<LStringSetting, kRecentFileSlots> kRecentFile{{
    {kRecentSection, "RecentFile 1", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 2", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 3", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 4", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 5", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 6", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 7", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 8", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 9", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 10", "", kUserOnly, kMaxPathLength},
    {kRecentSection, "RecentFile 11", "", kUserOnly, kMaxPathLength},
}};
// The time the slot was last used, in seconds.
inline constexpr std::array<LIntSetting, kRecentFileSlots> kRecentFileDate{{
    {kRecentSection, "RecentFileDate1", 0},
    {kRecentSection, "RecentFileDate2", 0},
    {kRecentSection, "RecentFileDate3", 0},
    {kRecentSection, "RecentFileDate4", 0},
    {kRecentSection, "RecentFileDate5", 0},
    {kRecentSection, "RecentFileDate6", 0},
    {kRecentSection, "RecentFileDate7", 0},
    {kRecentSection, "RecentFileDate8", 0},
    {kRecentSection, "RecentFileDate9", 0},
    {kRecentSection, "RecentFileDate10", 0},
    {kRecentSection, "RecentFileDate11", 0},
}};

// --- Section "Player": the recorder's listening player ---

inline constexpr LIntSetting kPlayerDevice{kPlayerSection, "Device", 0, kMachine};
inline constexpr LIntSetting kPlayerVolumeDB{kPlayerSection, "VolumeDB", 0, kMachine};

// --- Section "Recorder" ---

inline constexpr LIntSetting kRecorderDevice{kRecorderSection, "Device", 0, kMachine};
inline constexpr LIntSetting kRecorderVolume{kRecorderSection, "Volume", 0, kMachine};
inline constexpr LIntSetting kRecorderChannel{kRecorderSection, "Channel", -1, kMachine};
inline constexpr LIntSetting kRecorderThreshold{kRecorderSection, "Threshold", -24, kMachine, {-127, 127}};  // dB
inline constexpr LBoolSetting kRecorderAutostart{kRecorderSection, "Autostart", true, kMachine};
inline constexpr LBoolSetting kRecorderAutotrim{kRecorderSection, "Autotrim", true, kMachine};
inline constexpr LBoolSetting kRecorderVor{kRecorderSection, "Vor", false, kMachine};  // voice activation

// --- Section "StoredValues": the last used parameters of commands and effects ---
//
// Each carries the range its dialog allows (the dialogs check against it; values read from
// the settings, scripts and the command line are brought into it). Where a dialog states
// only one end, the other is the natural one (no negative times or percentages; speeds
// from 10 %); the silence dialog and the repeat dialog state none: silence is at most ten
// minutes at a time, a loop at most 1000 repetitions.

inline constexpr LIntSetting kSilenceTimes{kStoredValuesSection, "SilenceTimes", 0, kUserOnly, {0, 600000}};  // ms
inline constexpr LIntSetting kRepeatNumTimes{kStoredValuesSection, "RepeatNumTimes", 1, kUserOnly, {0, 1000}};

// The effects' last used values (shared with the batch processor). The modulation rates and
// the distortion degree are decimal fractions kept as text.
inline constexpr std::string_view kPhaserSection = "Phaser";
inline constexpr std::string_view kFlangerSection = "Flanger";
inline constexpr std::string_view kChorusSection = "Chorus";
inline constexpr std::string_view kDistortionSection = "Distortion";
inline constexpr std::string_view kAutoSplitSection = "AutoSplit";

inline constexpr LIntSetting kAmplifyGain{kStoredValuesSection, "AmplifyGain", 100, kUserOnly, {0, 400}};  // percent
inline constexpr LIntSetting kNormalizePeakLevel{kStoredValuesSection, "NormalizePeakLevel", 100, kUserOnly, {0, 100}};
inline constexpr LIntSetting kStereoPan{kStoredValuesSection, "StereoPan", 50, kUserOnly, {0, 100}};  // slider position
inline constexpr LIntSetting kEchoTime{kStoredValuesSection, "EchoTime", 800, kUserOnly, {10, 2999}};  // ms
inline constexpr LIntSetting kEchoGain{kStoredValuesSection, "EchoGain", 50, kUserOnly, {0, 99}};   // percent
inline constexpr LIntSetting kReverbTime{kStoredValuesSection, "ReverbTime", 50, kUserOnly, {50, 1000}};    // ms
inline constexpr LIntSetting kReverbLevel{kStoredValuesSection, "ReverbLevel", 100, kUserOnly, {0, 100}};  // percent
inline constexpr LIntSetting kPhaserTime{kPhaserSection, "Time", 5, kUserOnly, {0, 10}};
inline constexpr LIntSetting kPhaserGain{kPhaserSection, "Gain", 100, kUserOnly, {0, 100}};
inline constexpr LIntSetting kFlangerTime{kFlangerSection, "Time", 5, kUserOnly, {0, 10}};
inline constexpr LStringSetting kFlangerMod{kFlangerSection, "Mod", "0.5"};  // Hz
inline constexpr LIntSetting kFlangerDepth{kFlangerSection, "Depth", 50, kUserOnly, {0, 100}};
inline constexpr LIntSetting kFlangerGain{kFlangerSection, "Gain", 75, kUserOnly, {0, 100}};
inline constexpr LIntSetting kChorusTime{kChorusSection, "Time", 40, kUserOnly, {10, 100}};
inline constexpr LStringSetting kChorusMod{kChorusSection, "Mod", "0.5"};  // Hz
inline constexpr LIntSetting kChorusDepth{kChorusSection, "Depth", 5, kUserOnly, {0, 30}};
inline constexpr LIntSetting kChorusGain{kChorusSection, "Gain", 70, kUserOnly, {0, 100}};
inline constexpr LStringSetting kDistortionDegree{kDistortionSection, "Degree", "0.5"};  // 0.0 to 1.0
inline constexpr LIntSetting kDistortionLevel{kDistortionSection, "Level", -3, kUserOnly, {-20, 3}};  // dB
inline constexpr LIntSetting kLowCutFreq{kStoredValuesSection, "LowCutFreq", 250};  // Hz
inline constexpr LIntSetting kEQPreset{kStoredValuesSection, "EQPreset", 0};        // preset index
inline constexpr LIntSetting kCompressorThreshold{kStoredValuesSection, "CompressorThreshold", -20,
                                                  kUserOnly, {-60, 0}};  // dB
inline constexpr LIntSetting kCompressorRatio{kStoredValuesSection, "CompressorRatio", 0};  // ratio index
inline constexpr LIntSetting kCompressorLimit{kStoredValuesSection, "CompressorLimit", 3, kUserOnly, {0, 20}};  // dB
inline constexpr LIntSetting kNoiseGateLevel{kStoredValuesSection, "NoiseGateLevel", -30};  // dB
inline constexpr LIntSetting kSSNoiseThreshold{kStoredValuesSection, "SSNoiseThreshold", 30};
inline constexpr LIntSetting kSpSpeedPitch{kStoredValuesSection, "SpSpeedPitch", 100,
                                           kUserOnly, {10, 300}};  // percent
inline constexpr LIntSetting kConstPitchSpeed{kStoredValuesSection, "ConstPitchSpeed", 100,
                                              kUserOnly, {10, 300}};  // percent
inline constexpr LIntSetting kConstSpeedPitch{kStoredValuesSection, "ConstSpeedPitch", 100,
                                              kUserOnly, {10, 300}};  // percent
inline constexpr LIntSetting kConvertSampleRate{kStoredValuesSection, "ConvertSampleRate", 44100,
                                                kUserOnly, {6000, 96000}};
inline constexpr LIntSetting kConvertChannel{kStoredValuesSection, "ConvertChannel", 1, kUserOnly, {1, 2}};
inline constexpr LIntSetting kAutoSplitThreshold{kAutoSplitSection, "Threshold", -36};  // dB
inline constexpr LIntSetting kAutoSplitDuration{kAutoSplitSection, "Duration", 0};      // milliseconds

// The equalizer's filter shapes, each in a section of its own (named as the shape's key), in
// the order of the shape list: BandPass, BandStop, HighPass, LowPass, Notch, Boost/Cut.
// Frequencies and slopes in hertz, Amp in percent. The high- and low-pass shapes have one
// frequency ("Freq") and no end frequency (its name is empty).
struct LEqualizerShapeSettings {
  LIntSetting frequency;
  LIntSetting endFrequency;
  LIntSetting amp;
  LIntSetting slope;
};
inline constexpr int kEqualizerShapeCount = 6;
inline constexpr std::array<LEqualizerShapeSettings, kEqualizerShapeCount> kEqualizerShapes{{
    {{"BandPass", "StartFreq", 8000}, {"BandPass", "EndFreq", 12000}, {"BandPass", "Amp", 50}, {"BandPass", "Slope", 1000}},
    {{"BandStop", "StartFreq", 8000}, {"BandStop", "EndFreq", 12000}, {"BandStop", "Amp", 50}, {"BandStop", "Slope", 1000}},
    {{"HighPass", "Freq", 4000}, {"HighPass", "", 0}, {"HighPass", "Amp", 50}, {"HighPass", "Slope", 1000}},
    {{"LowPass", "Freq", 4000}, {"LowPass", "", 0}, {"LowPass", "Amp", 50}, {"LowPass", "Slope", 1000}},
    {{"Notch", "StartFreq", 8000}, {"Notch", "EndFreq", 12000}, {"Notch", "Amp", 50}, {"Notch", "Slope", 1000}},
    {{"Boost/Cut", "StartFreq", 8000}, {"Boost/Cut", "EndFreq", 12000}, {"Boost/Cut", "Amp", 50},
     {"Boost/Cut", "Slope", 1000}},
}};

// --- Section "BatchConverter": where and how the batch processor saves ---

inline constexpr std::string_view kBatchConverterSection = "BatchConverter";
inline constexpr LBoolSetting kBatchSaveSameFileFormat{kBatchConverterSection, "SaveSameFileFormat", true};
inline constexpr LIntSetting kBatchSaveFileFormat{kBatchConverterSection, "SaveFileFormat", 0};  // index
inline constexpr LBoolSetting kBatchSameOutputFolder{kBatchConverterSection, "SameOutputFolder", true};
inline constexpr LStringSetting kBatchOutputFolder{kBatchConverterSection, "OutputFolder", "", kUserOnly,
                                                   kMaxPathLength};

// --- Sections "VoxAudio" and "RawAudio": the formats of headerless ".vox" and ".raw" files ---

// Codec numbers: 0 Dialogic ADPCM, 1 G.711 mu-law, 2 G.711 A-law, 3 16-bit little-endian,
// 4 8-bit unsigned, 5 8-bit signed, 6 16-bit big-endian.
inline constexpr LIntSetting kVoxAudioSampleRate{kVoxAudioSection, "SampleRate", 8000, kMachine};
inline constexpr LIntSetting kVoxAudioChannels{kVoxAudioSection, "Channels", 1, kMachine};
inline constexpr LIntSetting kVoxAudioCodec{kVoxAudioSection, "Codec", 0, kMachine};
inline constexpr LIntSetting kRawAudioSampleRate{kRawAudioSection, "SampleRate", 44100, kMachine};
inline constexpr LIntSetting kRawAudioChannels{kRawAudioSection, "Channels", 1, kMachine};
inline constexpr LIntSetting kRawAudioCodec{kRawAudioSection, "Codec", 3, kMachine};

// --- Sections of the encoders and of the list files that saving writes ---

inline constexpr std::string_view kMp3EncoderSection = "MP3Encoder";
inline constexpr std::string_view kOggEncoderSection = "OggEncoder";
inline constexpr std::string_view kFlacEncoderSection = "FlacEncoder";
inline constexpr std::string_view kAacEncoderSection = "AACEncoder";
inline constexpr std::string_view kAmrEncoderSection = "AMREncoder";
inline constexpr std::string_view kRssEncodeSection = "RSSEncode";

inline constexpr LIntRange kMp3BitRateRange{8, 320};  // kbit/s
inline constexpr LBoolSetting kMp3ConstantBitRate{kMp3EncoderSection, "ConstantBitRate", true};
inline constexpr LIntSetting kMp3CbrBitRate{kMp3EncoderSection, "CBRBitRate", 128, kUserOnly, kMp3BitRateRange};
inline constexpr LBoolSetting kMp3HighQuality{kMp3EncoderSection, "HighQuality", true};
inline constexpr LIntSetting kMp3VbrMinBitRate{kMp3EncoderSection, "VBRMinBitRate", 32, kUserOnly, kMp3BitRateRange};
inline constexpr LIntSetting kMp3VbrMaxBitRate{kMp3EncoderSection, "VBRMaxBitRate", 128, kUserOnly, kMp3BitRateRange};
inline constexpr LIntSetting kMp3VbrQuality{kMp3EncoderSection, "VBRQuality", 4, kUserOnly, {0, 9}};
inline constexpr LBoolSetting kMp3ErrorProtection{kMp3EncoderSection, "ErrorProtection", false};
// 0 stereo, 1 joint, 2 forced, 3 mono; other values read as 1.
inline constexpr LIntSetting kMp3ChannelMode{kMp3EncoderSection, "ChannelMode", 1};
inline constexpr LBoolSetting kOggQualityMode{kOggEncoderSection, "Quality", true};
inline constexpr LIntSetting kOggVbrQuality{kOggEncoderSection, "VBRQuality", 4, kUserOnly, {0, 10}};
inline constexpr LIntSetting kOggVbrMinBitRate{kOggEncoderSection, "VBRMinBitRate", 96, kUserOnly, {32, 224}};
inline constexpr LIntSetting kOggVbrMaxBitRate{kOggEncoderSection, "VBRMaxBitRate", 128, kUserOnly, {32, 224}};
inline constexpr LIntSetting kOggChannels{kOggEncoderSection, "Channels", 1, kUserOnly, {1, 2}};
inline constexpr LBoolSetting kOggStripComments{kOggEncoderSection, "StripComments", false};
inline constexpr LIntSetting kFlacCompression{kFlacEncoderSection, "Compression", 4, kUserOnly, {0, 8}};
inline constexpr LIntSetting kFlacChannels{kFlacEncoderSection, "Channels", 1, kUserOnly, {1, 2}};
inline constexpr LIntSetting kFlacSampleRate{kFlacEncoderSection, "SampleRate", 44100, kUserOnly, {1, 655350}};
inline constexpr LBoolSetting kAacAverageBitRate{kAacEncoderSection, "AverageBitRate", false};
inline constexpr LIntSetting kAacAbrBitRate{kAacEncoderSection, "ABRBitRate", 128, kUserOnly, {8, 576}};
inline constexpr LIntSetting kAacVbrQuality{kAacEncoderSection, "VBRQuality", 100, kUserOnly, {10, 500}};
inline constexpr LBoolSetting kAacForceMpeg2{kAacEncoderSection, "ForceMPEG2", false};
inline constexpr LBoolSetting kAacDisableTns{kAacEncoderSection, "DisableTNS", false};
inline constexpr LIntSetting kAmrModeRateSelection{kAmrEncoderSection, "ModeRateSelection", 4, kUserOnly, {0, 7}};
inline constexpr LStringSetting kRssRootUrl{kRssEncodeSection, "RootURL", "", kUserOnly, 2048};

// --- The whole table, for restoring defaults and for checks over every setting ---

using LSettingRef = std::variant<const LBoolSetting*, const LIntSetting*, const LStringSetting*>;

inline constexpr auto kAllSettings = [] {
  constexpr LSettingRef kFixed[] = {
      &kUseDefaultWorkingDir, &kWorkingFolder, &kSoundOutDevice, &kPlaySpeed, &kPlayRepeat,
      &kReduceVolWhenRewind, &kPlayWhenOpen, &kAutoArrangeWindows, &kAutoPlaybackAfterEffects,
      &kAutoTrimThreshold, &kPlayBookMark, &kPlayRegion, &kPromptSampleAndChannels,
      &kDefaultSampleRate, &kDefaultChannels, &kSelectedSampleRate, &kSelectedChannels,
      &kAddToWEContext, &kShowMainToolbar, &kShowCommandBar, &kShowCommandBarLeft,
      &kShowEffectsToolbar, &kOpenFileDir, &kSaveAsDir, &kSaveProjectAsDir, &kInsertFileDir,
      &kMixFileDir, &kSaveRegionDir, &kLoadFromFolder, &kExportRegionFolder, &kVSTFolder,
      &kSaveAsFormat, &kExportRegionFormat, &kAutoGap, &kAutoGapTime, &kUseFreeDB,
      &kClickSensitivity, &kMaxClickLength, &kGridToggle, &kTFFTFullZoomOn, &kTFFTVScroll,
      &kEQWindowX, &kEQWindowY, &kTextToSpeechVoice, &kSendMethod, &kRunEdit, &kRunLoad,
      &kMainWindowX, &kMainWindowY, &kMainWindowWidth, &kMainWindowHeight, &kMainWindowMaximized,
      &kPlayerDevice, &kPlayerVolumeDB, &kRecorderDevice, &kRecorderVolume, &kRecorderChannel,
      &kRecorderThreshold, &kRecorderAutostart, &kRecorderAutotrim, &kRecorderVor,
      &kSilenceTimes, &kRepeatNumTimes, &kAmplifyGain, &kNormalizePeakLevel, &kStereoPan,
      &kEchoTime, &kEchoGain, &kReverbTime, &kReverbLevel, &kPhaserTime, &kPhaserGain,
      &kFlangerTime, &kFlangerMod, &kFlangerDepth, &kFlangerGain, &kChorusTime, &kChorusMod,
      &kChorusDepth, &kChorusGain, &kDistortionDegree, &kDistortionLevel, &kLowCutFreq, &kEQPreset,
      &kCompressorThreshold, &kCompressorRatio, &kCompressorLimit, &kNoiseGateLevel,
      &kSSNoiseThreshold, &kSpSpeedPitch, &kConstPitchSpeed, &kConstSpeedPitch,
      &kConvertSampleRate, &kConvertChannel, &kAutoSplitThreshold, &kAutoSplitDuration,
      &kBatchSaveSameFileFormat, &kBatchSaveFileFormat, &kBatchSameOutputFolder, &kBatchOutputFolder,
      &kVoxAudioSampleRate, &kVoxAudioChannels, &kVoxAudioCodec, &kRawAudioSampleRate,
      &kRawAudioChannels, &kRawAudioCodec, &kMp3ConstantBitRate, &kMp3CbrBitRate, &kMp3HighQuality,
      &kMp3VbrMinBitRate, &kMp3VbrMaxBitRate, &kMp3VbrQuality, &kMp3ErrorProtection, &kMp3ChannelMode,
      &kOggQualityMode, &kOggVbrQuality, &kOggVbrMinBitRate, &kOggVbrMaxBitRate, &kOggChannels,
      &kOggStripComments, &kFlacCompression, &kFlacChannels, &kFlacSampleRate, &kAacAverageBitRate,
      &kAacAbrBitRate, &kAacVbrQuality, &kAacForceMpeg2, &kAacDisableTns, &kAmrModeRateSelection,
      &kRssRootUrl,
  };
  constexpr size_t kFixedCount = sizeof kFixed / sizeof kFixed[0];
  std::array<LSettingRef, kFixedCount + 2 * kRecentFileSlots + 3 * kEqualizerShapeCount + 4> all{};
  size_t n = 0;
  for (const LSettingRef& setting : kFixed) all[n++] = setting;
  for (const LStringSetting& setting : kRecentFile) all[n++] = &setting;
  for (const LIntSetting& setting : kRecentFileDate) all[n++] = &setting;
  for (const LEqualizerShapeSettings& shape : kEqualizerShapes) {
    for (const LIntSetting* setting : {&shape.frequency, &shape.endFrequency, &shape.amp, &shape.slope}) {
      if (!setting->name.empty()) all[n++] = setting;
    }
  }
  return all;
}();

}  // namespace klangor
