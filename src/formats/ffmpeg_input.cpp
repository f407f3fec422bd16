#include "formats/ffmpeg_input.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstring>

#include "formats/ffmpeg_decoder.h"
#include "formats/readable_file.h"

namespace klangor {
namespace {

// Demuxers whose files name other files or addresses to read.
bool ReadsOtherFiles(const AVInputFormat& format) {
  static const char* const kRefused[] = {"hls", "concat", "dash", "ffmetadata", "image2", "tee", "webm_dash_manifest"};
  for (const char* name : kRefused) {
    if (std::strcmp(format.name, name) == 0) return true;
  }
  return false;
}

}  // namespace

void LFormatContextCloser::operator()(AVFormatContext* context) const { avformat_close_input(&context); }

LFormatContextPtr OpenMediaInput(const std::string& path, bool withStreamInfo, LStreamState* state) {
  QuietFfmpegLog();
  *state = LStreamState::kCannotOpen;
  // Only regular files we can read: FFmpeg would block on a FIFO and read a device forever.
  if (!OpenReadableFile(path).IsOpen()) return nullptr;
  *state = LStreamState::kCorrupt;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  AVFormatContext* raw = nullptr;
  const int rc = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (rc < 0) return nullptr;
  LFormatContextPtr context(raw);
  if (context->iformat == nullptr || ReadsOtherFiles(*context->iformat)) return nullptr;
  if (withStreamInfo && avformat_find_stream_info(context.get(), nullptr) < 0) return nullptr;
  *state = LStreamState::kOk;
  return context;
}

int FirstAudioStream(const AVFormatContext& context) {
  for (unsigned i = 0; i < context.nb_streams; ++i) {
    if (context.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace klangor
