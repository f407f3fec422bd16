#include "docio/save_audio_file.h"

#include <algorithm>

#include "audio/error_stream.h"
#include "docio/components.h"
#include "docio/decoder_program.h"
#include "docio/encoder_commands.h"
#include "docio/encoder_settings.h"
#include "docio/file_tags.h"
#include "docio/list_file.h"
#include "docio/load_save.h"
#include "docio/pipe_encoder_sink.h"
#include "docio/raw_settings.h"
#include "docio/wav_codec_file.h"
#include "formats/format_table.h"
#include "formats/open_messages.h"
#include "formats/wav_codec_sink.h"
#include "formats/wav_file.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/small_file.h"
#include "platform/safe_replace.h"
#include "platform/temporary_file.h"
#include "platform/text.h"

namespace klangor {
namespace {

std::string Normalised(const std::string& extension) {
  std::string ext = extension.empty() || extension[0] != '.' ? "." + extension : extension;
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

// The encoder component that writes `extension`, or null for Klangor's own writers.
const char* EncoderOf(const std::string& ext) {
  if (ext == ".mp3" || ext == ".rss" || ext == ".m3u" || ext == ".pls" || ext == ".wpl") return "mp3el";
  if (ext == ".ogg") return "oggenc";
  if (ext == ".flac") return "flacenc";
  if (ext == ".aac" || ext == ".m4a") return "aacenc";
  if (ext == ".amr") return "amrenc";
  return nullptr;
}

bool IsListFile(const std::string& ext) { return ext == ".rss" || ext == ".m3u" || ext == ".pls" || ext == ".wpl"; }

LRef<LSoundSink> FailedSink() { return MakeRef<LNullSink>(); }

std::string WavCodecPath(const LSaveContext& context) {
  return context.wavCodecFile.empty() ? WavCodecFilePath() : context.wavCodecFile;
}

LRef<LSoundSink> EncoderSink(LSaveContext& context, const std::string& ext, const std::string& program,
                             const std::string& path, int32_t rate, int channels, const LTagList& tags) {
  LEncoderCommand command;
  if (ext == ".mp3" || IsListFile(ext)) {
    command = Mp3EncoderCommand(program, LoadMp3Settings(context.settings), rate, channels, path);
  } else if (ext == ".ogg") {
    command = OggEncoderCommand(program, LoadOggSettings(context.settings), rate, channels, tags, path);
  } else if (ext == ".flac") {
    command = FlacEncoderCommand(program, LoadFlacSettings(context.settings), tags, path);
  } else if (ext == ".aac" || ext == ".m4a") {
    command = AacEncoderCommand(program, LoadAacSettings(context.settings), rate, channels, path);
  } else if (ext == ".amr") {
    command = AmrEncoderCommand(program, LoadAmrMode(context.settings), path);
  } else {
    return FailedSink();
  }
  return MakeRef<LPipeEncoderSink>(command.arguments, command.sampleRate, command.channels, &context.progress);
}

// Why the stored WAV format cannot be written, or nothing when it can.
std::string StoredWaveFormatProblem(const std::string& wavCodecFile) {
  const std::optional<LWaveFormat> stored = ReadWavCodecFile(wavCodecFile);
  if (!stored || IsPcmFormat(*stored) ||
      MakeCodecWaveFormat(stored->formatTag, static_cast<int32_t>(std::min<uint32_t>(stored->samplesPerSec, INT32_MAX)),
                          stored->channels, CodecBitRate(*stored))) {
    return {};
  }
  return "Das in \"" + wavCodecFile + "\" gespeicherte WAV-Format kann nicht geschrieben werden; bitte wählen Sie "
         "beim Speichern ein anderes Format.";
}

std::string WithProblem(const std::string& message, const std::string& problem) {
  return problem.empty() ? message : message + "\r\n\r\n" + problem;
}

// ".amr": the sound goes to a temporary WAV file of 8000 Hz mono first, which the encoder
// then reads.
LResult SaveAmr(LRef<LSoundStream> stream, const std::string& path, LSaveContext& context) {
  const LComponentInfo* info = FindComponentInfo("amrenc");
  const std::string program = FindComponent(context.settings, *info);
  if (program.empty()) {
    context.interaction.ShowSaveError(WithProblem(CannotCreateMessage(path), MissingComponentMessage(*info)), LSaveFailure::kCannotCreate);
    return LResult::kFailed;
  }
  std::string stem = FileNameOf(path);
  if (const size_t dot = stem.rfind('.'); dot != std::string::npos && dot > 0) stem.resize(dot);
  LTemporaryFile wav = LTemporaryFile::CreateNumbered(CutToCharacters(stem, 64), ".wav", context.temporaryFolder);
  if (!wav.IsOpen()) {
    context.interaction.ShowSaveError(CannotCreateMessage(path), LSaveFailure::kCannotCreate);
    return LResult::kFailed;
  }
  LRef<LSoundSink> sink = CreateWaveFile(wav.Path(), MakePcm16Format(8000, 1));
  LResult result = PumpWholeStream("Vorverarbeite Datei...", stream, *sink, context.progress);
  sink->Finish();
  if (result == LResult::kDone && (sink->Failed() || !stream->Usable())) result = LResult::kFailed;
  sink.Reset();
  std::string problem;
  if (result == LResult::kDone) {
    LSafeReplace replace(path);
    result = LResult::kFailed;
    if (replace.Ready()) {
      LSpawnOptions options;
      options.error = LChildDescriptor::Pipe();
      LChildProcess child =
          LChildProcess::Start(AmrFileArguments(program, LoadAmrMode(context.settings), wav.Path(), replace.TempPath()),
                               options);
      if (!child.Started()) {
        problem = "the encoder \"" + FileNameOf(program) + "\" could not be started.";
      } else {
        result = WaitForDecoder(child, context.progress, {360000, false}, nullptr);
        if (result == LResult::kDone && !child.Status().Success()) {
          result = LResult::kFailed;
          problem = ProgramFailedText("encoder", program, child.Status(), child.ErrorText());
        } else if (result == LResult::kFailed) {
          problem = "the encoder \"" + FileNameOf(program) + "\" did not finish in time and was stopped.";
        }
      }
      if (result == LResult::kDone && !replace.Commit()) result = LResult::kFailed;
    }
  }
  if (result == LResult::kFailed) context.interaction.ShowSaveError(WithProblem(CannotCreateMessage(path), problem), LSaveFailure::kCannotCreate);
  return result;
}

}  // namespace

const std::vector<std::string>& SaveExtensions() {
  static const std::vector<std::string> extensions = {".wav", ".mp3", ".ogg", ".aif", ".aiff", ".au",
                                                      ".flac", ".aac", ".m4a", ".gsm", ".vox",  ".raw",
                                                      ".rss", ".m3u", ".pls", ".wpl", ".amr"};
  return extensions;
}

bool EnsureEncoderAvailable(const LSettingsStore& settings, const std::string& extension, std::string* message) {
  const std::string ext = Normalised(extension);
  const auto& known = SaveExtensions();
  if (std::find(known.begin(), known.end(), ext) == known.end()) return false;
  const char* encoder = EncoderOf(ext);
  if (encoder == nullptr || IsListFile(ext)) return true;
  const LComponentInfo* info = FindComponentInfo(encoder);
  if (!FindComponent(settings, *info).empty()) return true;
  if (message != nullptr) *message = MissingComponentMessage(*info);
  return false;
}

LRef<LSoundSink> CreateAudioSink(LSaveContext& context, const std::string& extension, const std::string& path,
                                 int32_t sampleRate, int channels, const LTagList& tags) {
  const std::string ext = Normalised(extension);
  if (ext == ".wav") {
    const std::optional<LWaveFormat> stored = ReadWavCodecFile(WavCodecPath(context));
    return CreateWaveFile(path, stored ? *stored : MakePcm16Format(sampleRate, channels));
  }
  if (const char* encoder = EncoderOf(ext)) {
    const std::string program = FindComponent(context.settings, *FindComponentInfo(encoder));
    if (program.empty()) return FailedSink();
    return EncoderSink(context, ext, program, path, sampleRate, channels, tags);
  }
  const auto& known = SaveExtensions();
  const LFormatEntry* format = FindFormat(ext);
  if (std::find(known.begin(), known.end(), ext) == known.end() || format == nullptr || format->create == nullptr) {
    return FailedSink();
  }
  LRef<LSoundSink> sink = format->create(path, sampleRate, channels, StoredFormatSettings(context.settings));
  return sink ? sink : FailedSink();
}

// Saves the stream as `path` through the sink of `ext`; `frames` (when given) receives the
// frames the sink took.
static LResult SaveThroughSink(LRef<LSoundStream> stream, const std::string& path, const std::string& ext,
                               LSaveContext& context, const LTagList& tags, int64_t* frames) {
  const int32_t rate = stream->SampleRate();
  const int channels = stream->Channels();
  LRef<LSoundSink> made;  // kept to ask an encoder why it failed, once it has ended
  LSaveFailure failure = LSaveFailure::kNone;
  LResult result = SaveStream(
      std::move(stream), path,
      [&](const std::string& target) {
        made = CreateAudioSink(context, ext, target, rate, channels, tags);
        return made;
      },
      context.progress, &failure,
      // Tags that fail to go in do not fail the save (the audio is complete).
      [&](const std::string& written) {
        WriteFileTags(tags, written, ext);
        return true;
      });
  const auto* encoder = dynamic_cast<const LPipeEncoderSink*>(made.Get());
  if (result == LResult::kFailed && encoder != nullptr && encoder->StoppedByCancel()) result = LResult::kCancelled;
  if (result == LResult::kFailed) {
    std::string problem = encoder != nullptr ? encoder->Problem() : std::string();
    if (ext == ".wav" && problem.empty()) problem = StoredWaveFormatProblem(WavCodecPath(context));
    context.interaction.ShowSaveError(WithProblem(SaveFailureMessage(failure, path), problem), failure);
  }
  if (frames != nullptr) *frames = made ? made->FramesWritten() : 0;
  return result;
}

LResult SaveAudioFile(LRef<LSoundStream> stream, const std::string& path, bool showOptions, LSaveContext& context,
                      const LTagList& tags) {
  const std::string ext = Normalised(LowerExtension(path));
  std::string missing;
  if (!EnsureEncoderAvailable(context.settings, ext, &missing)) {
    context.interaction.ShowSaveError(WithProblem(CannotCreateMessage(path), missing), LSaveFailure::kCannotCreate);
    return LResult::kFailed;
  }
  if (showOptions && !context.interaction.ShowSaveOptions(ext, stream->Channels())) return LResult::kCancelled;
  if (ext == ".amr") return SaveAmr(std::move(stream), path, context);
  if (IsListFile(ext)) {
    // The MP3 file next to the list file comes first; the list file follows only when the
    // MP3 file is complete and in place, through a safe replace of its own.
    std::string mp3Path = path;
    mp3Path.resize(path.size() - ext.size());
    mp3Path += ".mp3";
    const int32_t rate = stream->SampleRate();
    int64_t frames = 0;
    const LResult result = SaveThroughSink(std::move(stream), mp3Path, ".mp3", context, tags, &frames);
    if (result != LResult::kDone) return result;
    LListEntry entry;
    entry.title = FileNameOf(path);
    entry.title.resize(entry.title.size() - ext.size());
    entry.mp3Name = FileNameOf(mp3Path);
    entry.rootUrl = LoadRootUrl(context.settings);
    entry.seconds = rate > 0 ? frames / rate : 0;
    LFile mp3 = LFile::Open(mp3Path, LFileMode::kRead);
    entry.mp3Bytes = mp3.IsOpen() ? std::max<int64_t>(mp3.Size(), 0) : 0;
    if (!ReplaceSmallFile(path, ListFileText(ext, entry))) {
      context.interaction.ShowSaveError(CannotCreateMessage(path), LSaveFailure::kCannotCreate);
      return LResult::kFailed;
    }
    return LResult::kDone;
  }

  return SaveThroughSink(std::move(stream), path, ext, context, tags, nullptr);
}

}  // namespace klangor
