#include "batch/batch_run.h"

#include <ostream>

#include "batch/batch_processor.h"
#include "batch/batch_script.h"
#include "batch/play_run.h"
#include "docio/open_audio_file.h"
#include "docio/raw_settings.h"
#include "platform/paths.h"

namespace klangor {
namespace {

// Prints the file's line; true when it is usable.
bool Probe(const std::string& input, LOpenContext& context, std::ostream& out) {
  bool prompt = false;  // one line per file; only a decoder that fails says why
  LRef<LSoundStream> stream;
  OpenAudioFile(stream, input, prompt, context);
  out << input << ": " << stream->SampleRate() << " Hz, " << stream->Channels() << " channels, "
      << stream->Length() << " frames, state " << static_cast<int>(stream->State()) << "\n";
  return stream->Usable();
}

void ListCommands(std::ostream& out) {
  for (const LBatchCommandInfo& info : BatchCommands()) {
    out << info.number << "  " << info.name << "\n";
  }
}

// The command list of the command line: the script's records, then each --command.
bool BuildCommands(const LBatchOptions& options, std::vector<LBatchCommand>* commands, std::ostream& err) {
  if (!options.scriptFile.empty()) {
    LScriptLoad script = LoadBatchScript(options.scriptFile);
    if (script.status == LScriptStatus::kCannotOpen) {
      err << "klangor-batch: cannot read the script \"" << options.scriptFile << "\"\n";
      return false;
    }
    if (script.status == LScriptStatus::kWrongVersion) {
      err << kScriptVersionMessage << "\n";
      return false;
    }
    *commands = script.commands;
  }
  for (const LBatchCommandArg& arg : options.commands) {
    if (FindBatchCommand(static_cast<uint32_t>(arg.number)) == nullptr) {
      err << "klangor-batch: there is no command " << arg.number << " (see --list-commands)\n";
      return false;
    }
    if (arg.values.empty()) {
      commands->push_back({static_cast<uint32_t>(arg.number), {}});
      continue;
    }
    std::optional<LBatchCommand> command = MakeBatchCommand(static_cast<uint32_t>(arg.number), arg.values);
    if (!command) {
      const LBatchCommandInfo* info = FindBatchCommand(static_cast<uint32_t>(arg.number));
      err << "klangor-batch: command " << arg.number << " takes " << info->fields.size()
          << " value(s)" << (info->fields.empty() ? " (it uses its stored values)" : "") << "\n";
      return false;
    }
    commands->push_back(*command);
  }
  return true;
}

}  // namespace

std::string BatchOutputPath(const std::string& input, const LBatchOptions& options) {
  return BatchOutputName(input, BatchOutputOf(options));
}

LBatchOutput BatchOutputOf(const LBatchOptions& options) {
  LBatchOutput output;
  if (!options.format.empty()) {
    const auto& extensions = BatchOutputExtensions();
    for (size_t i = 0; i < extensions.size(); ++i) {
      if (extensions[i] == "." + options.format) {
        output.sameFormat = false;
        output.formatIndex = static_cast<int>(i);
      }
    }
  }
  if (!options.outputFolder.empty()) {
    output.sameFolder = false;
    output.folder = options.outputFolder;
  }
  return output;
}

int RunBatch(const LBatchOptions& options, const LSettingsStore& settings, LProgress& progress,
             std::ostream& out, std::ostream& err) {
  if (options.help) {
    out << BatchUsage();
    return 0;
  }
  if (options.listCommands) {
    ListCommands(out);
    return 0;
  }
  if (options.listDevices) {
    ListOutputDevices(out);
    return 0;
  }
  if (options.play) return RunPlay(*options.play, settings, progress, !options.quiet, err);
  if (options.probe) {
    bool allUsable = true;
    LSettingsStore store = settings;
    LReportingOpenInteraction interaction([&err](const std::string& message) { err << message << "\n"; });
    LOpenContext context(store, interaction, progress);
    for (const std::string& file : options.files) allUsable = Probe(file, context, out) && allUsable;
    return allUsable ? 0 : 2;
  }
  LBatchJob job;
  if (!BuildCommands(options, &job.commands, err)) return 2;
  if (!options.format.empty()) {
    if (BatchOutputOf(options).sameFormat) {
      err << "klangor-batch: cannot write the format \"" << options.format << "\"\n";
      return 2;
    }
  }
  if (!options.outputFolder.empty() && !IsFolder(options.outputFolder)) {
    err << "klangor-batch: the output folder \"" << options.outputFolder << "\" does not exist\n";
    return 2;
  }
  job.files = options.files;
  job.output = BatchOutputOf(options);
  progress.SetTitle("Stapelbearbeitung");
  LResult result = RunBatchJob(job, settings, progress, [&err](const std::string& message) {
    err << message << "\n";
  });
  return static_cast<int>(result);
}

}  // namespace klangor
