#pragma once
// Writing a sound as a file from an editing command: under the progress window, through the
// format table's writer for `format`, never destroying the file that was there when it fails;
// a failure shows the program's "cannot create" message.

#include <string>

#include "audio/result.h"
#include "formats/format_table.h"
#include "frame/command_table.h"
#include "store/segment_list.h"

namespace klangor {

LResult SaveSoundAs(LCommandContext& context, const LSegmentList& sound, const std::string& path,
                    const LFormatEntry& format);

}  // namespace klangor
