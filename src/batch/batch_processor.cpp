#include "batch/batch_processor.h"

#include "docio/file_tags.h"
#include "docio/load_save.h"
#include "docio/open_audio_file.h"
#include "docio/raw_settings.h"
#include "docio/save_audio_file.h"
#include "dsp/processing_pump.h"
#include "formats/open_messages.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"
#include "store/sound_document.h"

namespace klangor {
namespace {

LResult SaveAs(LRef<LSoundStream> source, const std::string& output, LSettingsStore& settings, LProgress& progress,
               const LBatchReport& report, const LTagList& tags) {
  LReportingSaveInteraction interaction(report);
  LSaveContext context(settings, interaction, progress);
  return SaveAudioFile(std::move(source), output, false, context, tags);
}

// The commands from `first` on, each one's result streamed over the one before, starting
// from `sound`; nothing when one of them has no stream form.
LRef<LSoundStream> StreamCommands(const LBatchJob& job, size_t first, const LSettingsStore& settings,
                                  LRef<LSoundStream> sound) {
  for (size_t i = first; i < job.commands.size() && sound; ++i) {
    sound = BatchCommandStream(job.commands[i], settings, std::move(sound));
  }
  return sound;
}

// Where the commands that end the list and are single passes of a stream begin.
size_t FirstStreamedCommand(const LBatchJob& job) {
  size_t first = job.commands.size();
  while (first > 0) {
    const LBatchCommandInfo* info = FindBatchCommand(job.commands[first - 1].number);
    if (info == nullptr || info->stream == nullptr) break;
    --first;
  }
  return first;
}

LResult ProcessFile(const std::string& file, const LBatchJob& job, const LSettingsStore& settings,
                    LProgress& progress, const LBatchReport& report) {
  const std::string output = BatchOutputName(file, job.output);
  if (output.empty()) return LResult::kFailed;

  LSettingsStore store = settings;  // opening an ".amr" file stores the raw record
  LReportingOpenInteraction interaction(report);
  LOpenContext context(store, interaction, progress);
  bool prompt = true;
  LRef<LSoundStream> stream;
  if (LResult opened = OpenAudioFile(stream, file, prompt, context); opened != LResult::kDone) return opened;
  const LTagList tags = ReadFileTags(file);
  // Without commands the file is only converted: it goes straight from the decoder into the
  // new file, sparing the copy into the block store and back (the output replaces its file
  // only when complete, so this is safe even when it is the source itself).
  if (job.commands.empty()) return SaveAs(std::move(stream), output, store, progress, report, tags);

  // Commands that are single passes of a stream go the same way when they end the list: their
  // results are streamed into the new file with the samples the block store would have held.
  // A source of known length needs no block store at all.
  const size_t streamed = FirstStreamedCommand(job);
  if (streamed == 0 && stream->Usable() && stream->LengthFixed()) {
    LRef<LSoundStream> loaded = MakePumpedStream(stream, stream->SampleRate(), stream->Channels());
    if (LRef<LSoundStream> result = StreamCommands(job, 0, settings, std::move(loaded))) {
      return SaveAs(std::move(result), output, store, progress, report, tags);
    }
    stream->Seek(0);
  }

  auto document = MakeRef<LSoundDocument>();
  document->fileName = file;
  document->tags = tags;
  LResult result = LoadStream(std::move(stream), file, document->sound, progress);
  if (result != LResult::kDone) {
    if (result == LResult::kFailed) report(PlainOpenMessage(file));
    return result;
  }

  for (size_t i = 0; i < job.commands.size(); ++i) {
    if (i == streamed) {
      if (LRef<LSoundStream> rest = StreamCommands(job, i, settings, OpenSegmentStream(document->sound))) {
        return SaveAs(std::move(rest), output, store, progress, report, document->tags);
      }
    }
    document->SetSelection(0, document->Length(), 0);
    result = RunBatchCommand(job.commands[i], *document, settings, progress, report);
    if (result != LResult::kDone) return result;
  }

  return SaveAs(OpenSegmentStream(document->sound), output, store, progress, report, document->tags);
}

}  // namespace

const std::vector<std::string>& BatchOutputExtensions() {
  static const std::vector<std::string> extensions = {".wav", ".mp3", ".au",  ".aiff", ".gsm", ".vox",
                                                      ".raw", ".ogg", ".flac", ".aac", ".m4a", ".rss",
                                                      ".m3u", ".pls", ".wpl",  ".amr"};
  return extensions;
}

LBatchOutput ReadBatchOutput(const LSettingsStore& settings) {
  LBatchOutput output;
  output.sameFormat = settings.Read(kBatchSaveSameFileFormat);
  output.formatIndex = settings.Read(kBatchSaveFileFormat);
  output.sameFolder = settings.Read(kBatchSameOutputFolder);
  output.folder = settings.Read(kBatchOutputFolder);
  return output;
}

void WriteBatchOutput(LSettingsStore& settings, const LBatchOutput& output) {
  settings.Write(kBatchSaveSameFileFormat, output.sameFormat);
  settings.Write(kBatchSaveFileFormat, output.formatIndex);
  settings.Write(kBatchSameOutputFolder, output.sameFolder);
  settings.Write(kBatchOutputFolder, output.folder);
}

std::string BatchOutputName(const std::string& file, const LBatchOutput& output) {
  std::string name = FileNameOf(file);
  const size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  if (!output.sameFormat) {
    const auto& extensions = BatchOutputExtensions();
    if (output.formatIndex < 0 || output.formatIndex >= static_cast<int>(extensions.size())) return {};
    extension = extensions[static_cast<size_t>(output.formatIndex)];
  }
  if (dot != std::string::npos) name.resize(dot);
  return JoinPath(output.sameFolder ? FolderOf(file) : output.folder, name + extension);
}

LResult RunBatchJob(const LBatchJob& job, const LSettingsStore& settings, LProgress& progress,
                    const LBatchReport& report) {
  for (const std::string& file : job.files) {
    LResult result = ProcessFile(file, job, settings, progress, report);
    if (result != LResult::kDone) return result;
  }
  return LResult::kDone;
}

}  // namespace klangor
