#pragma once
// Writing a sound as a file from an editing command: under the progress window, through the
// save dispatch (docio/save_audio_file.h) by the extension of `path`, never destroying the
// file that was there when it fails; a failure shows the save's message (the low-space one
// with its own caption). With `showOptions` the format's options dialog comes first (on this
// thread, before the progress window); cancelling it gives kCancelled.

#include <string>

#include "audio/result.h"
#include "frame/command_table.h"
#include "store/segment_list.h"
#include "store/tag_list.h"

namespace klangor {

LResult SaveSoundAs(LCommandContext& context, const LSegmentList& sound, const std::string& path,
                    const LTagList& tags = {}, bool showOptions = false);

}  // namespace klangor
