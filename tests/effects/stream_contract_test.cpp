// The stream contract over every effect stream (support/stream_contract.h), on test audio of
// several rates and channel counts.

#include "support/stream_contract.h"

#include <string>
#include <vector>

#include "effects/am_radio.h"
#include "effects/chorus.h"
#include "effects/click_repair.h"
#include "effects/compressor.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/envelope.h"
#include "effects/equalizer.h"
#include "effects/fir_filter.h"
#include "effects/flanger.h"
#include "effects/high_pass.h"
#include "effects/noise_gate.h"
#include "effects/noise_profile.h"
#include "effects/grain_stretch.h"
#include "effects/phase_vocoder.h"
#include "effects/phaser.h"
#include "effects/reduce_vocals.h"
#include "effects/reverb.h"
#include "effects/reverse.h"
#include "effects/spectral_subtraction.h"
#include "effects/speed_pitch.h"
#include "effects/stereo_pan.h"
#include "effects/telephone.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

using test::LStreamCase;
using test::StreamContractTest;

// A case whose stream is the task's over test audio.
LStreamCase TaskCase(std::string name, std::function<LEffectTask()> task, int32_t rate, int channels,
                     int32_t frames = 20000) {
  return {std::move(name),
          [=] { return task().processor->MakeStream(test::TestAudio(rate, channels, frames)); }, frames};
}

std::vector<LStreamCase> Cases() {
  std::vector<LStreamCase> cases = {
      TaskCase("Echo", [] { return MakeEchoTask(37, 75); }, 22050, 2),
      TaskCase("EchoMono", [] { return MakeEchoTask(1, 60); }, 8000, 1),
      TaskCase("Reverb", [] { return MakeReverbTask(75, 50); }, 16000, 2),
      TaskCase("Phaser", [] { return MakePhaserTask(5, 100); }, 32000, 3),
      TaskCase("Flanger", [] { return MakeFlangerTask({5, 0.5, 70, 90}); }, 32000, 2),
      TaskCase("FastFlanger", [] { return MakeFlangerTask({3, 4.7, 100, 50}); }, 44100, 1),
      TaskCase("Chorus", [] { return MakeChorusTask({40, 0.5, 5, 80}); }, 22050, 2),
      TaskCase("ChorusOfMono", [] { return MakeChorusTask({65, 1.9, 30, 100}); }, 11025, 1),
      TaskCase("Distortion", [] { return MakeDistortionTask(0.5, -8); }, 8000, 2),
      TaskCase("AmRadio", [] { return MakeAmRadioTask(); }, 44100, 2),
      TaskCase("Telephone", [] { return MakeTelephoneTask(); }, 22050, 2),
      TaskCase("StereoPan", [] { return MakeStereoPanTask(80); }, 44100, 2),
      TaskCase("ReduceVocals", [] { return LEffectTask{"", std::make_shared<LReduceVocalsProcessor>()}; }, 44100, 2),
      TaskCase("SpeedAndPitch", [] { return LEffectTask{"", std::make_shared<LSpeedPitchProcessor>(LSpeedPitchMode::kSpeedAndPitch, 130)}; }, 22050, 2),
      TaskCase("SpeedOnly", [] { return LEffectTask{"", std::make_shared<LSpeedPitchProcessor>(LSpeedPitchMode::kSpeedOnly, 70)}; }, 22050, 2),
      TaskCase("PitchOnly", [] { return LEffectTask{"", std::make_shared<LSpeedPitchProcessor>(LSpeedPitchMode::kPitchOnly, 150)}; }, 16000, 1),
  };
  for (int32_t rate : {8000, 22050, 96000}) {
    for (int channels : {1, 2, 3}) {
      cases.push_back({"Compressor" + std::to_string(rate) + "x" + std::to_string(channels), [=] {
                         return MakeCompressorTask(-20, 0.9440608762859234, 3)
                             .processor->MakeStream(test::Passages(rate, channels, 40000, 41450, 414500, 300));
                       }, 30000});
    }
  }
  cases.push_back({"Envelope", [] {
                     return MakeRef<LEnvelopeStream>(test::TestAudio(44100, 2, 20000),
                                                     LEnvelope{{0, 10}, {60, 250}, {61, 0}, {255, 128}}, 20000);
                   }});
  cases.push_back({"FirDirect", [] {
                     return MakeRef<LFirStream>(test::TestAudio(44100, 3, 20000), DesignFir(TelephoneMask(44100)),
                                                LFirMethod::kDirect);
                   }});
  cases.push_back({"HighPass", [] { return MakeHighPassTask(700).processor->MakeStream(test::TestAudio(22050, 3, 20000)); }});
  cases.push_back({"OnePoleHighPass", [] { return MakeRef<LOnePoleHighPassStream>(test::TestAudio(8000, 2, 20000), 300); }});
  cases.push_back({"Equalizer", [] {
                     return LEqualizerProcessor({{0, 200}, {40, 20}, {200, 128}, {255, 0}})
                         .MakeStream(test::TestAudio(48000, 2, 30000));
                   }});
  for (int channels : {1, 2}) {
    cases.push_back({"NoiseGate" + std::to_string(channels), [=] {
                       return MakeNoiseGateTask(-30).processor->MakeStream(
                           test::Passages(44100, channels, 40000, 2000, 414500, 120));
                     }, 30000});
  }
  cases.push_back({"SpectralSubtraction", [] {
                     LNoiseProfile profile{SpectralSize(22050), 2, {}};
                     for (int c = 0; c < 2; ++c) profile.noise.emplace_back(profile.size / 2, 3000.0 * (c + 1));
                     return LSpectralSubtractionProcessor(profile).MakeStream(test::TestAudio(22050, 2, 20000));
                   }});
  cases.push_back({"RangeRepair", [] {
                     return MakeRef<LRangeRepairStream>(
                         test::TestAudio(44100, 2, 20000),
                         std::vector<LRepairRange>{{0, 0, 3}, {1, 700, 705}, {0, 5000, 5030}, {1, 19990, 20000}});
                   }});
  cases.push_back({"ManualClick", [] {
                     LRef<LSoundStream> input = MakeRef<test::LFunctionStream>(
                         44100, 2, 20000,
                         [](int64_t f, int c) { return test::TestSample(f, c, 40000) + (f >= 20 && f < 23 ? 900000 : 0); },
                         2097152);
                     return LManualClickProcessor(40).MakeStream(input);
                   }});
  cases.push_back({"PhaseVocoder", [] { return MakeRef<LPhaseVocoderStream>(test::TestAudio(22050, 2, 30000), 1.37); }});
  cases.push_back({"ReversedRange", [] { return MakeReversedRange(test::TestAudio(8000, 2, 30000), 3000, 26000); }});
  cases.push_back({"GrainStretch", [] { return MakeTimeStretch(test::TestAudio(8000, 2, 30000), 9.0); }, 3000});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Effects, StreamContractTest, ::testing::ValuesIn(Cases()), test::StreamCaseName);

}  // namespace
}  // namespace klangor
