#pragma once
// The contents of a wave window: the MDI child that shows one document. The main window
// knows it only through this class and CreateDocumentView, so the waveform view can take its
// place without the main window changing.
//
// A view reads its document only in Refresh (on the user-interface thread, never while a
// worker runs on the document) and paints from what it took there.

#include <QWidget>

#include "audio/ref_counted.h"
#include "store/sound_document.h"

namespace klangor {

class LDocumentView : public QWidget {
 public:
  LDocumentView(LRef<LSoundDocument> document, QWidget* parent) : QWidget(parent), document_(std::move(document)) {}
  LSoundDocument& Document() const { return *document_; }
  // Takes the document's sound, selection, cursor and view again and repaints.
  virtual void Refresh() = 0;

 private:
  LRef<LSoundDocument> document_;
};

LDocumentView* CreateDocumentView(LRef<LSoundDocument> document, QWidget* parent);

}  // namespace klangor
