// atlas_viewer FOLDER: the calibrated maps of a folder as an atlas in a Qt
// window; the status bar shows the position under the mouse.
#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <cmath>

#include "marovia/qt/map_widget.h"

namespace {

QString DegreesMinutes(double Value, char Plus, char Minus) {
  const double a = std::abs(Value);
  const int degrees = static_cast<int>(a);
  return QString("%1° %2' %3")
      .arg(degrees)
      .arg((a - degrees) * 60, 6, 'f', 3, QChar('0'))
      .arg(Value < 0 ? Minus : Plus);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    qCritical("usage: atlas_viewer FOLDER");
    return 2;
  }
  QMainWindow window;
  auto* map = new marovia::qt::MapWidget(&window);
  window.setCentralWidget(map);
  QObject::connect(map, &marovia::qt::MapWidget::hovered, [&](double lat, double lon) {
    window.statusBar()->showMessage(DegreesMinutes(lat, 'N', 'S') + "   " +
                                    DegreesMinutes(lon, 'E', 'W'));
  });
  QObject::connect(map, &marovia::qt::MapWidget::errorOccurred,
                   [&](const QString& why) { window.statusBar()->showMessage(why, 5000); });
  if (map->openAtlasFolder(QString::fromLocal8Bit(argv[1])) == 0) {
    qCritical("atlas_viewer: no map in %s", argv[1]);
    return 1;
  }
  window.resize(1024, 768);
  window.show();
  return app.exec();
}
