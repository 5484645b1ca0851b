// MapWidget painting a 1920 x 1080 view of a 6000 x 4000 map read through
// its tile pyramid, every tile of the view already loaded. Each iteration
// moves the view by one pixel (so the control composes anew, from tiles
// in memory) and repaints the widget synchronously: the whole cost of a
// frame on the UI thread. Runs on the offscreen platform unless another is
// chosen (QT_QPA_PLATFORM).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

#include "marovia/geomap/geomap.h"
#include "marovia/qt/map_widget.h"
#include "qt/test_maps.h"

namespace {

using marovia::TPoint;
using marovia::qt::MapWidget;

void BM_PaintViewFromReadyTiles(benchmark::State& State) {
  const double magnification = static_cast<double>(State.range(0)) / 100;
  QTemporaryDir dir;
  const std::string jpeg = dir.filePath("map.jpg").toStdString();
  marovia::test::WriteTestJpeg(jpeg, 6000, 4000);
  const auto source = marovia::test::TiledTestMap(jpeg, dir.path().toStdString());

  MapWidget w;
  w.resize(1920, 1080);
  w.show();
  QSignalSpy changed(&w, &MapWidget::mapChanged);
  w.setMapSource(source);
  if (!changed.wait(60000)) {
    State.SkipWithError("the map did not open");
    return;
  }
  w.setMagnification(magnification);
  const TPoint origin{1000, 800};
  // Both views of the loop, each painted until its tiles stop arriving.
  for (int dx : {0, 1, 0}) {
    w.mapControl().SetTopLeft(TPoint{origin.X + dx, origin.Y});
    QImage last;
    for (int i = 0; i < 500; ++i) {
      QTest::qWait(20);
      const QImage now = w.picture();
      if (now == last) break;
      last = now;
    }
  }
  int dx = 0;
  for (auto _ : State) {
    dx ^= 1;
    w.mapControl().SetTopLeft(TPoint{origin.X + dx, origin.Y});
    w.repaint();
  }
  State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_PaintViewFromReadyTiles)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
