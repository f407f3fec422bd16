#pragma once
// The dialog of an effect with a preview button: the preview plays the effect, with the
// dialog's current values, over the copy of the selection taken when the dialog opened. The
// dialog holds that copy itself (a list of block references, cheap to copy).

#include <utility>

#include "audio/ref_counted.h"
#include "audio/sound_stream.h"
#include "frame/user_interface.h"
#include "store/segment_list.h"
#include "store/segment_stream.h"

namespace klangor {

class LPreviewDialog : public LDialogModel {
 public:
  explicit LPreviewDialog(LSegmentList selection) : selection_(std::move(selection)) {}
  bool PreviewEnabled() const { return selection_.Length() > 0; }
  // The effect with the current values over the selection copy.
  virtual LRef<LSoundStream> PreviewStream() const = 0;

 protected:
  const LSegmentList& Selection() const { return selection_; }
  LRef<LSoundStream> SelectionStream() const { return OpenSegmentStream(selection_); }

 private:
  LSegmentList selection_;
};

}  // namespace klangor
