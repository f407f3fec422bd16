#pragma once
// The menu commands of the gain, normalisation and fade effects, reverse, stereo pan and
// reduce vocals. "Umkehren" and "Stimmen reduzieren" carry the identifiers of the main menu;
// the others take free identifiers from 4100 on.

#include "frame/command_table.h"

namespace klangor {

enum LGainCommandId : int {
  kCmdReverse = 4018,       // "Umkehren" (also in the edit menu)
  kCmdReduceVocals = 4030,  // "Stimmen reduzieren"
  kCmdAmplify = 4100,       // "Anpassen..."
  kCmdNormalize = 4101,     // "Normalisieren..."
  kCmdFadeIn = 4102,        // "Einblenden"
  kCmdFadeOut = 4103,       // "Ausblenden"
  kCmdFadeOutAndTrim = 4104,  // "Ausblenden und trimmen"
  kCmdEnvelope = 4105,      // "Dynamik..."
  kCmdDcOffset = 4106,      // "DCOffset Correction"
  kCmdStereoPan = 4107,     // "Stereo Regler..."
};

void AddGainCommands(LCommandTable& table);

}  // namespace klangor
