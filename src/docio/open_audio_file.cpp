#include "docio/open_audio_file.h"

#include <functional>
#include <optional>

#include "audio/error_stream.h"
#include "docio/decoder_program.h"
#include "docio/decoder_stream.h"
#include "docio/raw_settings.h"
#include "formats/dct_file.h"
#include "formats/ffmpeg_file.h"
#include "formats/format_table.h"
#include "formats/open_messages.h"
#include "formats/raw_format.h"
#include "formats/readable_file.h"
#include "formats/wav_file.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/temporary_file.h"

namespace klangor {
namespace {

enum class LHandling { kRaw, kDct, kDecoder, kAmr, kWma, kDss, kReal, kSri };

struct LOpenRow {
  const char* extension;
  LHandling handling;
  const char* title;      // the progress title of the conversion
  const char* component;  // the decoder program's component
  LRawRecord record = LRawRecord::kRawAudio;
};

// The rows beyond the format table's own readers, in the order of the dispatch.
constexpr LOpenRow kRows[] = {
    {"vox", LHandling::kRaw, "", "", LRawRecord::kVoxAudio},
    {"raw", LHandling::kRaw, "", ""},
    {"snd", LHandling::kRaw, "", ""},
    {"dct", LHandling::kDct, "Loading DCT file", ""},
    {"aac", LHandling::kDecoder, "Loading AAC file", "aacdec"},
    {"m4a", LHandling::kDecoder, "Loading AAC file", "aacdec"},
    {"ogg", LHandling::kDecoder, "Loading OGG file", "oggdec"},
    {"flac", LHandling::kDecoder, "Loading FLAC file", "flacdec"},
    {"amr", LHandling::kAmr, "Lade  AMR Datei", "amrdec"},
    {"wma", LHandling::kWma, "Loading WMA file", ""},
    {"dss", LHandling::kDss, "Loading DSS file", ""},
    {"ra", LHandling::kReal, "Loading RealAudio file", ""},
    {"ram", LHandling::kReal, "Loading RealAudio file", ""},
    {"rm", LHandling::kReal, "Loading RealAudio file", ""},
    {"rmj", LHandling::kReal, "Loading RealAudio file", ""},
    {"sri", LHandling::kSri, "Loading SRI file", ""},
    {"act", LHandling::kDecoder, "Loading Record file", "actdec"},
    {"rec", LHandling::kDecoder, "Loading Record file", "actdec"},
    {"rcd", LHandling::kDecoder, "Loading Record file", "actdec"},
    {"shn", LHandling::kDecoder, "Loading Shorten file", "shndec"},
};
constexpr char kFfmpegTitle[] = "Loading with FFmpeg";

const LOpenRow* FindRow(const std::string& extension) {
  for (const LOpenRow& row : kRows) {
    if (extension == row.extension) return &row;
  }
  return nullptr;
}

// One open call: the file, the caller's flag and objects, and the result on its way out.
class LOpening {
 public:
  LOpening(LRef<LSoundStream>& stream, const std::string& path, bool& prompt, LOpenContext& context)
      : stream_(stream), path_(path), prompt_(prompt), context_(context) {}

  LResult Run() {
    stream_ = MakeErrorStream(LStreamState::kCannotOpen);
    const std::string extension = LowerExtension(path_);
    const LOpenRow* row = FindRow(extension);
    if (row != nullptr) return RunRow(*row);
    if (const LFormatEntry* format = FindFormat(extension); format != nullptr && !extension.empty()) {
      return Finish(format->open(path_, StoredFormatSettings(context_.settings)), extension);
    }
    return OpenWithFfmpeg(kFfmpegTitle, [&] {
      if (!FileExists(path_)) return AccessFileMessage(path_);
      if (extension == "msv" || extension == "dvf") return SonyCodecMessage(path_);
      return UnsupportedFormatMessage(path_);
    });
  }

 private:
  // The message box of opening, once per set prompt flag.
  void Complain(const std::string& text) {
    if (!prompt_ || text.empty()) return;
    prompt_ = false;
    context_.interaction.ShowOpenError(text);
  }

  LResult Fail(const std::string& decoderMessage = {}) {
    if (!decoderMessage.empty()) context_.interaction.ShowDecoderMessage(decoderMessage);
    if (stream_->Usable()) stream_ = MakeErrorStream(LStreamState::kCorrupt);
    return LResult::kFailed;
  }

  // Takes a native reader's stream; a state other than kOk gets the message of the extension.
  LResult Finish(LRef<LSoundStream> stream, const std::string& extension) {
    stream_ = std::move(stream);
    if (stream_->Usable()) return LResult::kDone;
    Complain(OpenMessage(extension, stream_->State(), path_));
    return LResult::kFailed;
  }

  LResult RunRow(const LOpenRow& row) {
    const bool converted = row.handling == LHandling::kDct || row.handling == LHandling::kDecoder ||
                           row.handling == LHandling::kAmr;
    // A file that is not there or cannot be read gets the access message, not a decoder's complaint.
    if (converted && !OpenReadableFile(path_).IsOpen()) {
      Complain(AccessFileMessage(path_));
      return LResult::kFailed;
    }
    switch (row.handling) {
      case LHandling::kRaw: return OpenRaw(row);
      case LHandling::kDct: return OpenDct(row);
      case LHandling::kDecoder: return OpenDecoded(row);
      case LHandling::kAmr: return OpenAmr(row);
      case LHandling::kWma: return OpenWithFfmpeg(row.title, [&] { return DrmMessage(path_); });
      case LHandling::kDss: return OpenWithFfmpeg(row.title, {}, kDssOpenMessage);
      case LHandling::kReal: return OpenWithFfmpeg(row.title, {}, kRealOpenMessage);
      case LHandling::kSri:
        context_.progress.SetTitle(row.title);
        return Fail(SriLibraryMessage());
    }
    return LResult::kFailed;
  }

  LResult OpenRaw(const LOpenRow& row) {
    LRawFormat format = LoadRawFormat(context_.settings, row.record);
    if (prompt_) {
      prompt_ = false;
      LRawDlg dialog(row.record, format);
      if (!context_.interaction.RunRawDialog(dialog)) {
        stream_ = MakeErrorStream(LStreamState::kCannotOpen);
        return LResult::kCancelled;
      }
      format = dialog.Format();
    }
    stream_ = OpenRawFile(format, path_);
    if (stream_->Usable()) return LResult::kDone;
    Complain(AccessFileMessage(path_));
    return LResult::kFailed;
  }

  // FFmpeg reads the file itself. A failure shows `message` in the message box, or
  // `ownMessage` as the row's own message.
  LResult OpenWithFfmpeg(const char* title, const std::function<std::string()>& message,
                         const char* ownMessage = nullptr) {
    context_.progress.SetTitle(title);
    context_.progress.SetStatusLine(path_);
    stream_ = OpenFfmpegFile(path_);
    if (stream_->Usable()) return LResult::kDone;
    if (ownMessage != nullptr) return Fail(ownMessage);
    if (message) Complain(message());
    return LResult::kFailed;
  }

  std::optional<LTemporaryFile> TemporaryFile(const char* extension) {
    LTemporaryFile file = LTemporaryFile::CreateNumbered("Temp", extension, context_.temporaryFolder);
    if (!file.IsOpen()) {
      Complain(TemporaryFileMessage(path_));
      return std::nullopt;
    }
    return file;
  }

  void ShowTask(const char* title) {
    context_.progress.SetTitle(title);
    context_.progress.SetStatusLine(path_);
    context_.progress.SetProgress(0, 1);
  }

  LResult OpenDct(const LOpenRow& row) {
    std::optional<LTemporaryFile> output = TemporaryFile(".wav");
    if (!output) return LResult::kFailed;
    ShowTask(row.title);
    const LDctUnwrap unwrap = UnwrapDctFile(path_, output->File(), context_.progress);
    if (unwrap.result == LResult::kCancelled) return LResult::kCancelled;
    if (unwrap.result != LResult::kDone) {
      if (!unwrap.message.empty()) return Fail(unwrap.message);
      Complain(AccessFileMessage(path_));
      return LResult::kFailed;
    }
    output->File().Close();
    return Finish(OpenWaveFile(output->Path()), "wav");
  }

  // Runs the row's decoder into `output`. Done: the program has ended well, or (`growing` given)
  // its WAV output can already be read, and `stream_` then reads it while it runs.
  LResult RunDecoder(const LOpenRow& row, LTemporaryFile& output, std::optional<LGrowingWave>* growing,
                     std::string* program) {
    ShowTask(row.title);
    output.File().Close();  // the program writes the file by its name
    LDecoderStart start = StartDecoder(context_.settings, row.component, path_, output.Path());
    *program = start.program;
    if (!start.child.Started()) return Fail(start.message);
    LDecoderLimits limits = DecoderLimitsFor(row.component);
    if (context_.decoderTimeoutMs > 0) limits.timeoutMs = context_.decoderTimeoutMs;
    std::function<bool()> ready;
    if (growing != nullptr) {
      ready = [&] {
        *growing = OpenGrowingWaveFile(output.Path());
        return growing->has_value();
      };
    }
    int64_t elapsed = 0;
    const LResult result = WaitForDecoder(start.child, context_.progress, limits, ready, &elapsed);
    if (result == LResult::kCancelled) return result;
    if (result != LResult::kDone) return Fail(DecoderTimeOutMessage(path_, start.program));
    if (start.child.Running()) {
      stream_ = MakeDecoderStream(std::move(**growing),
                                  {std::move(start.child), start.program, path_, std::move(output), limits.timeoutMs - elapsed},
                                  context_);
      return LResult::kDone;
    }
    if (!start.child.Status().Success()) {
      return Fail(DecoderFailedMessage(path_, start.program, start.child.Status(), start.child.ErrorText()));
    }
    return LResult::kDone;
  }

  LResult OpenDecoded(const LOpenRow& row) {
    std::optional<LTemporaryFile> output = TemporaryFile(".wav");
    if (!output) return LResult::kFailed;
    std::optional<LGrowingWave> growing;
    std::string program;
    const LResult result = RunDecoder(row, *output, &growing, &program);
    if (result != LResult::kDone || stream_->Usable()) return result;
    // The program has ended: its file is read with the WAV reader (which keeps it open, so its
    // name can go at once).
    stream_ = OpenWaveFile(output->Path());
    output->Remove();
    if (!stream_->Usable()) return Fail(DecoderOutputMessage(path_, program));
    return LResult::kDone;
  }

  LResult OpenAmr(const LOpenRow& row) {
    std::optional<LTemporaryFile> output = TemporaryFile(".raw");
    if (!output) return LResult::kFailed;
    std::string program;
    const LResult result = RunDecoder(row, *output, nullptr, &program);
    if (result != LResult::kDone) return result;
    // The decoder leaves 8000 Hz mono 16-bit little-endian samples, and the raw record says so
    // from now on.
    LRawFormat format = LoadRawFormat(context_.settings, LRawRecord::kRawAudio);
    format.sampleRate = 8000;
    format.channels = 1;
    format.codec = static_cast<uint32_t>(LRawCodec::kPcm16LittleEndian);
    SaveRawFormat(context_.settings, LRawRecord::kRawAudio, format);
    stream_ = OpenRawFile(format, output->Path());
    output->Remove();
    if (stream_->Usable()) return LResult::kDone;
    Complain(AccessFileMessage(path_));
    return LResult::kFailed;
  }

  LRef<LSoundStream>& stream_;
  const std::string& path_;
  bool& prompt_;
  LOpenContext& context_;
};

}  // namespace

LResult OpenAudioFile(LRef<LSoundStream>& stream, const std::string& path, bool& prompt, LOpenContext& context) {
  return LOpening(stream, path, prompt, context).Run();
}

const char* const* AudioFileExtensions() {
  static const char* const extensions[] = {"wav", "mp3", "ogg", "wma", "aif",  "aiff", "au",  "ra",  "ram", "flac",
                                           "aac", "gsm", "vox", "raw", "dss",  "dct",  "m4a", "mp2", "sri", "mpga",
                                           "msv", "dvf", "act", "rcd", "rec",  "shn",  "amr", nullptr};
  return extensions;
}

}  // namespace klangor
