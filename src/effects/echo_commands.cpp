#include "effects/echo_commands.h"

#include "dsp/effect_math.h"
#include "effects/am_radio.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/effect_command.h"
#include "effects/modulation.h"
#include "effects/reverb.h"
#include "effects/stream_effect.h"
#include "effects/telephone.h"
#include "settings/settings_keys.h"

namespace klangor {
namespace {

// A stream effect command: the undo name, and the task built once the dialog has the values.
void RunTaskCommand(LCommandContext& context, const char* undoName, const char* title,
                    std::function<bool(LCommandContext&, const LSegmentList&)> askValues,
                    std::function<LEffectTask()> task) {
  LEffectCommand command;
  command.undoName = undoName;
  command.title = title;
  command.askValues = std::move(askValues);
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunStreamEffect(document, task(), progress);
  };
  RunEffectCommand(context, command);
}

void EchoCommand(LCommandContext& context) {
  int32_t time = 0;
  int32_t gain = 0;
  RunTaskCommand(
      context, "Echo", kEchoName,
      [&](LCommandContext& ctx, const LSegmentList& selection) {
        LEchoDialog dialog(ctx.settings.Read(kEchoTime), ctx.settings.Read(kEchoGain), selection);
        if (!ctx.ui.RunDialog(dialog)) return false;
        time = dialog.timeMs;
        gain = dialog.gainPercent;
        ctx.settings.Write(kEchoTime, time);
        ctx.settings.Write(kEchoGain, gain);
        return true;
      },
      [&] { return MakeEchoTask(time, gain); });
}

void ReverbCommand(LCommandContext& context) {
  int32_t level = 0;
  int32_t time = 0;
  RunTaskCommand(
      context, "Reverb", kReverbName,
      [&](LCommandContext& ctx, const LSegmentList& selection) {
        LReverbDialog dialog(ctx.settings.Read(kReverbLevel), ctx.settings.Read(kReverbTime), selection);
        if (!ctx.ui.RunDialog(dialog)) return false;
        level = dialog.levelPercent;
        time = dialog.timeMs;
        ctx.settings.Write(kReverbLevel, level);
        ctx.settings.Write(kReverbTime, time);
        return true;
      },
      [&] { return MakeReverbTask(level, time); });
}

void PhaserCommand(LCommandContext& context) {
  int32_t time = 0;
  int32_t gain = 0;
  RunTaskCommand(
      context, "Phaser", kPhaserName,
      [&](LCommandContext& ctx, const LSegmentList& selection) {
        LPhaserDialog dialog(ctx.settings.Read(kPhaserTime), ctx.settings.Read(kPhaserGain), selection);
        if (!ctx.ui.RunDialog(dialog)) return false;
        time = dialog.timeMs;
        gain = dialog.gainPercent;
        ctx.settings.Write(kPhaserTime, time);
        ctx.settings.Write(kPhaserGain, gain);
        return true;
      },
      [&] { return MakePhaserTask(time, gain); });
}

void FlangerCommand(LCommandContext& context) {
  LModulation values;
  RunTaskCommand(
      context, "Flanger", kFlangerName,
      [&](LCommandContext& ctx, const LSegmentList& selection) {
        LFlangerDialog dialog(ctx.settings.Read(kFlangerTime), ctx.settings.Read(kFlangerMod),
                              ctx.settings.Read(kFlangerDepth), ctx.settings.Read(kFlangerGain), selection);
        if (!ctx.ui.RunDialog(dialog)) return false;
        values = dialog.Values();
        ctx.settings.Write(kFlangerTime, dialog.timeMs);
        ctx.settings.Write(kFlangerMod, dialog.modulation);
        ctx.settings.Write(kFlangerDepth, dialog.depthPercent);
        ctx.settings.Write(kFlangerGain, dialog.gainPercent);
        return true;
      },
      [&] { return MakeFlangerTask(values); });
}

void ChorusCommand(LCommandContext& context) {
  LModulation values;
  LEffectCommand command;
  command.undoName = "Chorus";
  command.title = kChorusName;
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LChorusDialog dialog(ctx.settings.Read(kChorusTime), ctx.settings.Read(kChorusMod),
                         ctx.settings.Read(kChorusDepth), ctx.settings.Read(kChorusGain), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    values = dialog.Values();
    ctx.settings.Write(kChorusTime, dialog.timeMs);
    ctx.settings.Write(kChorusMod, dialog.modulation);
    ctx.settings.Write(kChorusDepth, dialog.depthPercent);
    ctx.settings.Write(kChorusGain, dialog.gainPercent);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) { return RunChorus(document, values, progress); };
  RunEffectCommand(context, command);
}

void DistortionCommand(LCommandContext& context) {
  double degree = 0.0;
  int32_t level = 0;
  RunTaskCommand(
      context, "Verzerrung", kDistortionName,
      [&](LCommandContext& ctx, const LSegmentList& selection) {
        LDistortionDialog dialog(ctx.settings.Read(kDistortionDegree), ctx.settings.Read(kDistortionLevel),
                                 selection);
        if (!ctx.ui.RunDialog(dialog)) return false;
        degree = DecimalOfText(dialog.degree);
        level = dialog.Level();
        ctx.settings.Write(kDistortionDegree, dialog.degree);
        ctx.settings.Write(kDistortionLevel, level);
        return true;
      },
      [&] { return MakeDistortionTask(degree, level); });
}

void AmRadioCommand(LCommandContext& context) {
  RunTaskCommand(context, kAmRadioName, kAmRadioName, nullptr, [] { return MakeAmRadioTask(); });
}

void TelephoneCommand(LCommandContext& context) {
  RunTaskCommand(context, kTelephoneName, kTelephoneName, nullptr, [] { return MakeTelephoneTask(); });
}

}  // namespace

void AddEchoCommands(LCommandTable& table) {
  table.Add({kCmdEcho, "Echo...", EchoCommand});
  table.Add({kCmdReverb, "Hall...", ReverbCommand});
  table.Add({kCmdPhaser, "Phaser...", PhaserCommand});
  table.Add({kCmdFlanger, "Flanger", FlangerCommand});
  table.Add({kCmdChorus, "Chorus...", ChorusCommand});
  table.Add({kCmdDistortion, "Verzerrung", DistortionCommand});
  table.Add({kCmdAmRadio, "AM Radioeffekt", AmRadioCommand});
  table.Add({kCmdTelephone, "Telefoneffekt", TelephoneCommand});
}

}  // namespace klangor
