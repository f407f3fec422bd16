#include "ui/document_view.h"

#include <QPainter>

#include "app/file_commands.h"
#include "audio/time_units.h"
#include "ui/qt_text.h"

namespace klangor {
namespace {

// "h:mm:ss.mmm" of a frame count.
QString TimeOf(int32_t frames, int32_t rate) {
  const int64_t ms = FramesToMs(frames, rate);
  return QString::asprintf("%ld:%.2ld:%.2ld.%.3ld", static_cast<long>(ms / 3600000), static_cast<long>(ms / 60000 % 60),
                           static_cast<long>(ms / 1000 % 60), static_cast<long>(ms % 1000));
}

// Until the waveform view exists: the document's name, format, length, selection and cursor.
class LSummaryView final : public LDocumentView {
 public:
  LSummaryView(LRef<LSoundDocument> document, QWidget* parent) : LDocumentView(std::move(document), parent) {
    setObjectName("LKLWaveWindow");
    setMinimumSize(240, 120);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    setPalette(colours);
    Refresh();
  }

  void Refresh() override {
    const LSoundDocument& d = Document();
    const int32_t rate = d.sound.SampleRate();
    lines_.clear();
    lines_ << Q(DocumentName(d)) + (d.modified ? " *" : "");
    lines_ << QString("Samplerate: %1   %2").arg(rate).arg(d.sound.Channels() == 1 ? "Mono" : "Stereo");
    lines_ << "Länge: " + TimeOf(d.Length(), rate) + QString("  (%1 Samples)").arg(d.Length());
    if (d.HasSelection()) {
      lines_ << "Auswahl: " + TimeOf(d.selectionStart, rate) + " - " + TimeOf(d.selectionEnd, rate);
    } else {
      lines_ << "Auswahl: keine";
    }
    lines_ << "Cursor: " + TimeOf(d.cursor, rate);
    length_ = d.Length();
    selectionStart_ = d.selectionStart;
    selectionEnd_ = d.HasSelection() ? d.selectionEnd : d.selectionStart;
    cursor_ = d.cursor;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    // A strip for the whole sound with the selection and the cursor on it.
    const QRect strip(8, height() - 28, width() - 16, 18);
    p.fillRect(strip, QColor(0, 60, 0));
    if (length_ > 0) {
      auto x = [&](int32_t frame) { return strip.left() + static_cast<int>(int64_t{frame} * strip.width() / length_); };
      if (selectionEnd_ > selectionStart_) {
        p.fillRect(QRect(QPoint(x(selectionStart_), strip.top()), QPoint(x(selectionEnd_), strip.bottom())),
                   QColor(5, 95, 167));
      }
      p.setPen(QColor(255, 255, 17));
      p.drawLine(x(cursor_), strip.top(), x(cursor_), strip.bottom());
    }
    p.setPen(QColor(102, 255, 102));
    int y = 20;
    for (const QString& line : lines_) {
      p.drawText(10, y, line);
      y += fontMetrics().height() + 2;
    }
  }

 private:
  QStringList lines_;
  int32_t length_ = 0;
  int32_t selectionStart_ = 0;
  int32_t selectionEnd_ = 0;
  int32_t cursor_ = 0;
};

}  // namespace

LDocumentView* CreateDocumentView(LRef<LSoundDocument> document, QWidget* parent) {
  return new LSummaryView(std::move(document), parent);
}

}  // namespace klangor
