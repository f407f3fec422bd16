#include "effects/gain_commands.h"

#include "effects/amplify_normalize.h"
#include "effects/dc_offset.h"
#include "effects/effect_command.h"
#include "effects/envelope.h"
#include "effects/reduce_vocals.h"
#include "effects/reverse.h"
#include "effects/stereo_pan.h"
#include "effects/stream_effect.h"
#include "frame/command_steps.h"
#include "frame/edit_frame.h"
#include "settings/settings_keys.h"

namespace klangor {
namespace {

void AmplifyCommand(LCommandContext& context) {
  int32_t gain = 100;
  LEffectCommand command;
  command.undoName = kAmplifyName;
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LAmplifyDialog dialog(ctx.settings.Read(kAmplifyGain), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    gain = dialog.gainPercent;
    ctx.settings.Write(kAmplifyGain, gain);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress&) {
    AmplifySelection(document, gain);
    document.LengthChanged();
    return LResult::kDone;
  };
  command.progressWindow = false;
  command.after = LAfterEffect::kOneSecondPreroll;
  RunEffectCommand(context, command);
}

void NormalizeCommand(LCommandContext& context) {
  int32_t level = 100;
  LEffectCommand command;
  command.undoName = kNormalizeName;
  command.title = kNormalizeTitle;
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LNormalizeDialog dialog(ctx.settings.Read(kNormalizePeakLevel), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    level = dialog.levelPercent;
    ctx.settings.Write(kNormalizePeakLevel, level);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunNormalize(document, level, progress);
  };
  RunEffectCommand(context, command);
}

// A fade: the envelope over the selection, with no after-effect step.
LEffectCommand FadeCommand(const char* undoName, const LEnvelope& envelope) {
  LEffectCommand command;
  command.undoName = undoName;
  command.title = kEnvelopeTitle;
  command.after = LAfterEffect::kNothing;
  command.run = [envelope](LSoundDocument& document, LProgress& progress) {
    return RunEnvelope(document, envelope, progress);
  };
  return command;
}

void FadeInCommand(LCommandContext& context) {
  RunEffectCommand(context, FadeCommand("Fade In", FadeInEnvelope()));
}

void FadeOutCommand(LCommandContext& context) {
  RunEffectCommand(context, FadeCommand("Fade Out", FadeOutEnvelope()));
}

void FadeOutAndTrimCommand(LCommandContext& context) {
  RunEffectCommand(context,
                   {.undoName = "Ausblenden und Trimmen", .title = kEnvelopeTitle, .run = RunFadeOutAndTrim});
}

void DynamicsEnvelopeCommand(LCommandContext& context) {
  LEnvelope envelope;
  LEffectCommand command;
  command.undoName = "Dynamik";
  command.title = kEnvelopeTitle;
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    const std::string path = EnvelopeFilePath();
    LEnvelopeDialog dialog(LoadEnvelopeFile(path), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    envelope = dialog.Envelope();
    SaveEnvelopeFile(path, envelope);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunEnvelope(document, envelope, progress);
  };
  RunEffectCommand(context, command);
}

void DcOffsetCommand(LCommandContext& context) {
  RunEffectCommand(context, {.undoName = kDcOffsetName, .title = kDcOffsetName, .run = RunDcOffset});
}

void ReverseCommand(LCommandContext& context) {
  RunEffectCommand(context, {.undoName = kReverseName, .title = kReverseTitle, .run = RunReverse});
}

void StereoPanCommand(LCommandContext& context) {
  int32_t value = 50;
  LEffectCommand command;
  command.undoName = kStereoPanUndoName;
  command.title = kStereoPanName;
  command.stereoOnly = true;
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LStereoPanDialog dialog(ctx.settings.Read(kStereoPan), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    value = dialog.Value();
    ctx.settings.Write(kStereoPan, value);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunStreamEffect(document, MakeStereoPanTask(value), progress);
  };
  RunEffectCommand(context, command);
}

void ReduceVocalsCommand(LCommandContext& context) {
  RunEffectCommand(context,
                   {.undoName = kReduceVocalsName, .title = kReduceVocalsTitle, .stereoOnly = true, .run = RunReduceVocals});
}

}  // namespace

void AddGainCommands(LCommandTable& table) {
  table.Add({kCmdAmplify, "Anpassen...", AmplifyCommand});
  table.Add({kCmdNormalize, "Normalisieren...", NormalizeCommand});
  table.Add({kCmdFadeIn, "Einblenden", FadeInCommand});
  table.Add({kCmdFadeOut, "Ausblenden", FadeOutCommand});
  table.Add({kCmdFadeOutAndTrim, "Ausblenden und trimmen", FadeOutAndTrimCommand});
  table.Add({kCmdEnvelope, "Dynamik...", DynamicsEnvelopeCommand});
  table.Add({kCmdDcOffset, "DCOffset Correction", DcOffsetCommand});
  table.Add({kCmdReverse, "Umkehren", ReverseCommand});
  table.Add({kCmdStereoPan, "Stereo Regler...", StereoPanCommand});
  table.Add({kCmdReduceVocals, "Stimmen reduzieren", ReduceVocalsCommand});
}

}  // namespace klangor
