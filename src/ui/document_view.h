#pragma once
// The contents of a wave window: the MDI child that shows one document (ui/wave_view.h). The
// main window knows it only through this class and CreateDocumentView.
//
// A view reads its document only in Refresh (on the user-interface thread, never while a
// worker runs on the document) and paints from what it took there.

#include <QWidget>
#include <functional>

#include "audio/ref_counted.h"
#include "store/sound_document.h"

namespace klangor {

// What a view asks of the frame around it.
struct LViewHooks {
  std::function<void(int)> run;             // runs a command of the menu on the active document
  std::function<bool(int)> available;       // whether the command exists in this build
  std::function<void()> selectionChanged;   // the document's selection or cursor changed
};

class LDocumentView : public QWidget {
 public:
  LDocumentView(LRef<LSoundDocument> document, QWidget* parent) : QWidget(parent), document_(std::move(document)) {}
  LSoundDocument& Document() const { return *document_; }
  // Takes the document's sound, selection, cursor and view again and repaints.
  virtual void Refresh() = 0;
  void SetHooks(LViewHooks hooks) { hooks_ = std::move(hooks); }

 protected:
  const LViewHooks& Hooks() const { return hooks_; }

 private:
  LRef<LSoundDocument> document_;
  LViewHooks hooks_;
};

LDocumentView* CreateDocumentView(LRef<LSoundDocument> document, QWidget* parent);

}  // namespace klangor
