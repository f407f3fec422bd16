#include "effects/gain_commands.h"

#include "app/command_steps.h"
#include "app/edit_frame.h"
#include "app/settings_keys.h"
#include "effects/amplify_normalize.h"
#include "effects/dc_offset.h"
#include "effects/effect_command.h"
#include "effects/envelope.h"
#include "effects/reduce_vocals.h"
#include "effects/reverse.h"
#include "effects/stereo_pan.h"
#include "effects/stream_effect.h"

namespace klangor {
namespace {

// What follows a completed effect when it is not the usual half-second pre-roll.
enum class LAfterStep { kNone, kOneSecond };

// The steps of RunEffectCommand for the commands whose last step differs: amplify (no
// progress window, playback one second before the selection) and the fades (no after-effect
// step at all).
void RunWithAfterStep(LCommandContext& context, const LEffectCommand& command, LAfterStep after,
                      bool progressWindow) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  SelectAllIfNone(*document);
  document->ClampSelection();
  context.frame.StopPlayback();
  if (command.askValues) {
    LSegmentList selection;
    document->sound.ExtractRange(document->selectionStart, document->selectionEnd, selection);
    if (!command.askValues(context, selection)) return;
  }
  BeginEdit(context.frame, command.undoName);
  LResult result;
  if (progressWindow) {
    result = context.ui.RunWithProgress(command.title, [&](LProgress& progress) {
      return command.run(*document, progress);
    });
  } else {
    LSilentProgress progress;
    result = command.run(*document, progress);
  }
  if (result == LResult::kDone && after == LAfterStep::kOneSecond) {
    FinishEdit(context, command.undoName, document->selectionStart, document->sound.SampleRate());
  }
  context.frame.RedrawActiveDocument();
}

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
  RunWithAfterStep(context, command, LAfterStep::kOneSecond, /*progressWindow=*/false);
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

LEffectCommand EnvelopeCommand(const char* undoName, const LEnvelope& envelope) {
  LEffectCommand command;
  command.undoName = undoName;
  command.title = kEnvelopeTitle;
  command.run = [envelope](LSoundDocument& document, LProgress& progress) {
    return RunEnvelope(document, envelope, progress);
  };
  return command;
}

void FadeInCommand(LCommandContext& context) {
  RunWithAfterStep(context, EnvelopeCommand("Fade In", FadeInEnvelope()), LAfterStep::kNone, true);
}

void FadeOutCommand(LCommandContext& context) {
  RunWithAfterStep(context, EnvelopeCommand("Fade Out", FadeOutEnvelope()), LAfterStep::kNone, true);
}

void FadeOutAndTrimCommand(LCommandContext& context) {
  LEffectCommand command;
  command.undoName = "Ausblenden und Trimmen";
  command.title = kEnvelopeTitle;
  command.run = [](LSoundDocument& document, LProgress& progress) { return RunFadeOutAndTrim(document, progress); };
  RunEffectCommand(context, command);
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
  LEffectCommand command;
  command.undoName = kDcOffsetName;
  command.title = kDcOffsetName;
  command.run = [](LSoundDocument& document, LProgress& progress) { return RunDcOffset(document, progress); };
  RunEffectCommand(context, command);
}

void ReverseCommand(LCommandContext& context) {
  LEffectCommand command;
  command.undoName = kReverseName;
  command.title = kReverseTitle;
  command.run = [](LSoundDocument& document, LProgress& progress) { return RunReverse(document, progress); };
  RunEffectCommand(context, command);
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
  LEffectCommand command;
  command.undoName = kReduceVocalsName;
  command.title = kReduceVocalsTitle;
  command.stereoOnly = true;
  command.run = [](LSoundDocument& document, LProgress& progress) { return RunReduceVocals(document, progress); };
  RunEffectCommand(context, command);
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
