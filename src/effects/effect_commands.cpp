#include "effects/effect_commands.h"

#include "effects/am_radio.h"
#include "effects/amplify.h"
#include "effects/auto_volume.h"
#include "effects/chorus.h"
#include "effects/click_repair.h"
#include "effects/compressor.h"
#include "effects/dc_offset.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/envelope.h"
#include "effects/equalizer.h"
#include "effects/flanger.h"
#include "effects/high_pass.h"
#include "effects/noise_gate.h"
#include "effects/normalize.h"
#include "effects/phaser.h"
#include "effects/rate_commands.h"
#include "effects/reduce_vocals.h"
#include "effects/reverb.h"
#include "effects/reverse.h"
#include "effects/spectral_subtraction.h"
#include "effects/speed_pitch.h"
#include "effects/stereo_pan.h"
#include "effects/telephone.h"

namespace klangor {

void AddEffectCommands(LCommandTable& table) {
  using Id = LEffectCommandId;
  const auto add = [&table](Id id, const char* menuText, LCommandHandler run) {
    table.Add({CommandId(id), menuText, std::move(run)});
  };
  add(Id::kConvertRate, "Samplerate umwandeln", SampleRateCommand);
  add(Id::kConvertMono, "Mono", [](LCommandContext& context) { ChannelCommand(context, 1); });
  add(Id::kConvertStereo, "Stereo", [](LCommandContext& context) { ChannelCommand(context, 2); });
  add(Id::kReverse, "Umkehren", ReverseCommand);
  add(Id::kCompressor, "Dynamic Range Compressor...", CompressorCommand);
  add(Id::kAutoVolume, "Automatische Lautstärken Kontrolle", AutoVolumeCommand);
  for (auto [id, mode] : {std::pair{Id::kSpeedAndPitch, LSpeedPitchMode::kSpeedAndPitch},
                          std::pair{Id::kSpeedOnly, LSpeedPitchMode::kSpeedOnly},
                          std::pair{Id::kPitchOnly, LSpeedPitchMode::kPitchOnly}}) {
    add(id, SpeedPitchName(mode), [mode](LCommandContext& context) { SpeedPitchCommand(context, mode); });
  }
  add(Id::kReduceVocals, "Stimmen reduzieren", ReduceVocalsCommand);
  add(Id::kAmplify, "Anpassen...", AmplifyCommand);
  add(Id::kNormalize, "Normalisieren...", NormalizeCommand);
  add(Id::kFadeIn, "Einblenden", FadeInCommand);
  add(Id::kFadeOut, "Ausblenden", FadeOutCommand);
  add(Id::kFadeOutAndTrim, "Ausblenden und trimmen", FadeOutAndTrimCommand);
  add(Id::kEnvelope, "Dynamik...", EnvelopeCommand);
  add(Id::kDcOffset, "DCOffset Correction", DcOffsetCommand);
  add(Id::kStereoPan, "Stereo Regler...", StereoPanCommand);
  add(Id::kEcho, "Echo...", EchoCommand);
  add(Id::kReverb, "Hall...", ReverbCommand);
  add(Id::kPhaser, "Phaser...", PhaserCommand);
  add(Id::kFlanger, "Flanger", FlangerCommand);
  add(Id::kChorus, "Chorus...", ChorusCommand);
  add(Id::kDistortion, "Verzerrung", DistortionCommand);
  add(Id::kAmRadio, "AM Radioeffekt", AmRadioCommand);
  add(Id::kTelephone, "Telefoneffekt", TelephoneCommand);
  add(Id::kHighPass, "High-Pass Filter...", HighPassCommand);
  add(Id::kEqualizer, "Equalizer...", EqualizerCommand);
  add(Id::kNoiseGate, "Multi-Band Noise Gating anwenden...", NoiseGateCommand);
  add(Id::kAutoSubtraction, "Auto Spectral Subtraction verwenden...", AutoSpectralSubtractionCommand);
  add(Id::kGrabNoiseSample, "Grab Noise Sample aus markiertem Bereich", GrabNoiseSampleCommand);
  add(Id::kSampleSubtraction, "Spectral Subtraction basiert auf Noise Sample anwenden", NoiseSampleSubtractionCommand);
  add(Id::kClickRepair, "&Auto Störgeräuschrestoration", ClickRepairCommand);
  add(Id::kManualClickRepair, "Manueller Klick/Pop Reduzierung", ManualClickRepairCommand);
}

}  // namespace klangor
