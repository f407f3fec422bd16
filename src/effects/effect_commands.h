#pragma once
// The menu commands of the effects and the format conversions, by identifier: those below
// 4100 and the click repairs carry the identifiers of the main menu; the others take free
// identifiers from 4100 on. Each command's function lives with its effect.

#include "frame/command_table.h"

namespace klangor {

enum class LEffectCommandId : int {
  kConvertRate = 1006,       // "Samplerate umwandeln"
  kConvertMono = 1007,       // "Mono"
  kConvertStereo = 1008,     // "Stereo"
  kReverse = 4018,           // "Umkehren" (also in the edit menu)
  kCompressor = 4020,        // "Dynamic Range Compressor..."
  kAutoVolume = 4021,        // "Automatische Lautstärken Kontrolle"
  kEqualizer = 4023,         // "Equalizer..."
  kHighPass = 4024,          // "High-Pass Filter..."
  kNoiseGate = 4025,         // "Multi-Band Noise Gating anwenden..."
  kAutoSubtraction = 4026,   // "Auto Spectral Subtraction verwenden..."
  kSpeedAndPitch = 4027,     // "Geschwindigkeit und Tonhöhe ändern"
  kSpeedOnly = 4028,         // "Nur Geschwindigkeit ändern"
  kPitchOnly = 4029,         // "Nur Tonhöhe ändern"
  kReduceVocals = 4030,      // "Stimmen reduzieren"
  kSampleSubtraction = 4032, // "Spectral Subtraction basiert auf Noise Sample anwenden"
  kGrabNoiseSample = 4033,   // "Grab Noise Sample aus markiertem Bereich"
  kAmplify = 4100,           // "Anpassen..."
  kNormalize = 4101,         // "Normalisieren..."
  kFadeIn = 4102,            // "Einblenden"
  kFadeOut = 4103,           // "Ausblenden"
  kFadeOutAndTrim = 4104,    // "Ausblenden und trimmen"
  kEnvelope = 4105,          // "Dynamik..."
  kDcOffset = 4106,          // "DCOffset Correction"
  kStereoPan = 4107,         // "Stereo Regler..."
  kEcho = 4110,              // "Echo..."
  kReverb = 4111,            // "Hall..."
  kPhaser = 4112,            // "Phaser..."
  kFlanger = 4113,           // "Flanger"
  kChorus = 4114,            // "Chorus..."
  kDistortion = 4115,        // "Verzerrung"
  kAmRadio = 4116,           // "AM Radioeffekt"
  kTelephone = 4117,         // "Telefoneffekt"
  kClickRepair = 7009,       // "&Auto Störgeräuschrestoration"
  kManualClickRepair = 7010, // "Manueller Klick/Pop Reduzierung"
};

void AddEffectCommands(LCommandTable& table);

}  // namespace klangor
