#include "batch/batch_run.h"

#include <ostream>

#include "audio/error_stream.h"
#include "formats/format_table.h"
#include "formats/load_save.h"
#include "formats/open_messages.h"
#include "platform/paths.h"
#include "store/segment_stream.h"
#include "store/sound_document.h"

namespace klangor {
namespace {

// Opens a file of a format klangor-batch can read; `message` tells why not.
LRef<LSoundStream> OpenInput(const std::string& path, std::string* message) {
  const LFormatEntry* format = FindFormat(LowerExtension(path));
  if (format == nullptr) {
    *message = "Cannot open the file \"" + path + "\". This format is not supported yet.";
    return MakeErrorStream(LStreamState::kCorrupt);
  }
  LRef<LSoundStream> stream = format->open(path);
  *message = WaveOpenMessage(stream->State(), path);
  return stream;
}

LResult ConvertFile(const std::string& input, const LBatchOptions& options, LProgress& progress,
                    std::ostream& err) {
  std::string message;
  LRef<LSoundStream> stream = OpenInput(input, &message);
  if (!stream->Usable()) {
    err << message << "\n";
    return LResult::kFailed;
  }
  auto document = MakeRef<LSoundDocument>();
  document->fileName = input;
  LResult result = LoadStream(*stream, input, document->sound, progress);
  stream.Reset();
  if (result != LResult::kDone) {
    if (result == LResult::kFailed) err << PlainOpenMessage(input) << "\n";
    return result;
  }
  document->LengthChanged();

  const std::string output = BatchOutputPath(input, options);
  const LFormatEntry* format = FindFormat(LowerExtension(output));
  if (format == nullptr || format->create == nullptr) {
    err << "klangor-batch: cannot write the format of \"" << output << "\" yet\n";
    return LResult::kFailed;
  }
  const int32_t rate = document->sound.SampleRate();
  const int channels = document->sound.Channels();
  LRef<LSoundStream> reader = OpenSegmentStream(document->sound);
  result = SaveStream(*reader, output,
                      [&](const std::string& path) { return format->create(path, rate, channels); },
                      progress);
  if (result == LResult::kFailed) err << CannotCreateMessage(output) << "\n";
  return result;
}

void Probe(const std::string& input, std::ostream& out) {
  std::string message;
  LRef<LSoundStream> stream = OpenInput(input, &message);
  out << input << ": " << stream->SampleRate() << " Hz, " << stream->Channels() << " channels, "
      << stream->Length() << " frames, state " << static_cast<int>(stream->State()) << "\n";
}

}  // namespace

std::string BatchOutputPath(const std::string& input, const LBatchOptions& options) {
  std::string name = FileNameOf(input);
  if (!options.format.empty()) {
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    name += "." + options.format;
  }
  return JoinPath(options.outputFolder.empty() ? FolderOf(input) : options.outputFolder, name);
}

int RunBatch(const LBatchOptions& options, LProgress& progress, std::ostream& out, std::ostream& err) {
  if (options.help) {
    out << BatchUsage();
    return 0;
  }
  if (options.listCommands || !options.commands.empty() || !options.scriptFile.empty()) {
    err << "klangor-batch: batch commands are not available yet\n";
    return 2;
  }
  const LFormatEntry* outputFormat = options.format.empty() ? nullptr : FindFormat(options.format);
  if (!options.format.empty() && (outputFormat == nullptr || outputFormat->create == nullptr)) {
    err << "klangor-batch: cannot write the format \"" << options.format << "\" yet\n";
    return 2;
  }
  if (!options.outputFolder.empty() && !IsFolder(options.outputFolder)) {
    err << "klangor-batch: the output folder \"" << options.outputFolder << "\" does not exist\n";
    return 2;
  }
  bool failed = false;
  for (const std::string& file : options.files) {
    if (options.probe) {
      Probe(file, out);
      continue;
    }
    LResult result = ConvertFile(file, options, progress, err);
    if (result == LResult::kCancelled) return 1;
    if (result != LResult::kDone) failed = true;
  }
  return failed ? 2 : 0;
}

}  // namespace klangor
