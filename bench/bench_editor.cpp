// The editor: how long the main window takes to appear, how long the user-interface thread's
// event loop stalls at most while a 60-minute stereo sound is normalised and echoed under the
// progress window (the work runs on a worker thread; the goal is under 50 ms), and the wave
// window over a 10-hour stereo sound, 2000 columns wide: drawn fully zoomed out from the peak
// files (goal: under 50 ms) and a scroll step zoomed in (goal: under 16 ms), each from the
// view change to the repainted control.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "bench_long_sound.h"
#include "bench_signal.h"
#include "effects/normalize.h"
#include "effects/echo.h"
#include "effects/stream_effect.h"
#include "settings/settings_store.h"
#include "frame/view_commands.h"
#include "ui/main_window.h"
#include "ui/wave_control.h"
#include "ui/wave_view.h"

namespace klangor::bench {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "klangor_editor_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("KLANGOR_SOUND_OUT", "virtual-fast", 0);  // playback after effects needs no sound card
    return new QApplication(argc, argv);
  }();
  return *app;
}

LSettingsStore& BenchSettings() {
  static const std::string folder = (std::filesystem::temp_directory_path() / "klangor-editor-bench").string();
  static LSettingsStore settings = [] {
    std::filesystem::create_directories(folder);
    return LSettingsStore(folder + "/user.ini", folder + "/machine.ini");
  }();
  return settings;
}

void BM_MainWindowShown(benchmark::State& state) {
  App();
  for (auto _ : state) {
    LMainWindow window(BenchSettings(), nullptr);
    window.ShowPlaced();
    while (!window.isVisible()) QApplication::processEvents();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_MainWindowShown)->Unit(benchmark::kMillisecond)->UseRealTime();

// The longest gap between two ticks of a 1 ms timer on the user-interface thread while `work`
// runs under the progress window.
double LongestStallMs(LMainWindow& window, const char* title, const std::function<LResult(LProgress&)>& work) {
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.elapsed();
  qint64 longest = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  ticker.start(1);
  if (window.Ui().RunWithProgress(title, work) != LResult::kDone) return -1;
  return static_cast<double>(longest);
}

void BM_EventLoopStallSixtyMinutes(benchmark::State& state) {
  App();
  const int32_t seconds = 3600;
  LBlockStore::Instance().SetWorkingFolder((std::filesystem::temp_directory_path() / "klangor-bench").string());
  LSegmentList sound;
  {
    const std::vector<int32_t> second = MusicSecond(100000, 300000);
    auto writer = MakeRef<LBlockWriter>(kRate, sound, kChannels);
    for (int32_t s = 0; s < seconds; ++s) writer->Write(second.data(), kRate);
    writer->Finish();
  }
  LMainWindow window(BenchSettings(), nullptr);
  window.show();
  double normalise = 0, echo = 0;
  for (auto _ : state) {
    auto document = MakeRef<LSoundDocument>();
    document->sound = sound;
    document->SetSelection(0, document->Length(), 0);
    normalise = LongestStallMs(window, "Normalisiere",
                               [&](LProgress& progress) { return RunNormalize(*document, 90, progress); });
    const LEffectTask task = MakeEchoTask(800, 50);
    echo = LongestStallMs(window, "Echo", [&](LProgress& progress) { return RunStreamEffect(*document, task, progress); });
    if (normalise < 0 || echo < 0) state.SkipWithError("the effect failed");
  }
  state.counters["normalise_stall_ms"] = normalise;
  state.counters["echo_stall_ms"] = echo;
}
BENCHMARK(BM_EventLoopStallSixtyMinutes)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// A wave window whose main view is 2000 columns wide, over `sound`, with everything drawn.
std::unique_ptr<LWaveDocumentView> WideWaveView(LRef<LSoundDocument> document) {
  auto view = std::make_unique<LWaveDocumentView>(document, nullptr);
  view->resize(2006, 300);
  view->show();
  while (!view->isVisible()) QApplication::processEvents();
  return view;
}

void Redraw(LWaveDocumentView& view) {
  view.Refresh();
  while (!view.MainView().Complete()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  view.MainView().repaint();
}

void BM_WaveViewFullZoomOutTenHours(benchmark::State& state) {
  App();
  auto document = MakeRef<LSoundDocument>();
  document->sound = LongStereoSound(600);
  std::unique_ptr<LWaveDocumentView> view = WideWaveView(document);
  bool whole = false;
  for (auto _ : state) {
    // The whole sound and one frame less in turn: another scale, so every column again.
    whole = !whole;
    SetVisibleRange(*document, 0, document->Length() - (whole ? 0 : 1));
    Redraw(*view);
  }
  state.counters["columns"] = view->MainView().Geometry().Width();
}
BENCHMARK(BM_WaveViewFullZoomOutTenHours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WaveViewScrollStepTenHours(benchmark::State& state) {
  App();
  auto document = MakeRef<LSoundDocument>();
  document->sound = LongStereoSound(600);
  const int64_t visible = int64_t{100} * 2000;  // 100 frames per column: from the samples
  const int64_t middle = document->Length() / 2;
  SetVisibleRange(*document, middle - visible, middle);
  std::unique_ptr<LWaveDocumentView> view = WideWaveView(document);
  Redraw(*view);
  int step = 0;
  for (auto _ : state) {
    // Ten steps to the right, ten back, and again: every step uncovers a tenth of the width.
    ScrollView(*document, (step++ / 10 % 2 == 0 ? 1 : -1) * visible / 10);
    Redraw(*view);
  }
}
BENCHMARK(BM_WaveViewScrollStepTenHours)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace klangor::bench
