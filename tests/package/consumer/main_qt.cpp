// A Qt host of the installed widget: made with no arguments and shown
// before it has any map, it paints a picture of its size.
#include <QApplication>

#include "marovia/qt/map_widget.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  marovia::qt::MapWidget w;
  w.resize(64, 48);
  w.show();
  if (w.picture().size() != QSize(64, 48) || w.mapSource()) return 1;
  return 0;
}
