// MapWidget: calibrated maps and atlases in a Qt 6 widget.
//
// The widget owns nothing but the view. It is given maps as values (an
// atlas index, a map source) and shows them through the library's map
// control, composed in software (so it works offscreen, over VNC and X
// forwarding, without OpenGL). Maps are opened and decoded, and large
// scans' tile pyramids built and read, on worker threads: the UI thread
// only paints what is ready, and repaints as tiles arrive. Until a tile is
// loaded its place shows a coarser level's tile enlarged, or the
// background.
//
// Coordinates: latitudes and longitudes in degrees (WGS 84 for positions
// from a receiver, the map's own datum otherwise), north and east positive;
// widget pixels with the origin at the top left.
//
// Mouse tools (setTool): Pan (drag pans; default), ZoomBox (drag a box,
// release zooms to it; the right button cancels), Select (drag a dotted box;
// selected() reports it), Measure (a click starts a line, each further
// click adds a point, a double click or the right button ends it; the
// geodesic length on the ellipsoid is reported as it grows). The wheel
// zooms about the pointer with every tool; past the shown map's range the
// atlas's next finer or coarser map there takes over at the same scale.
//
// Live position (setPositionSource): the marker with its heading, the
// accuracy circle and the track so far are drawn over the map; with
// follow(true) the view keeps the position in its middle and the atlas
// switches to the map that suits the view where the position has gone.
//
// Signals are emitted on the UI thread, after the change they report.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>
#include <memory>
#include <string>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geomap/landmark.h"
#include "marovia/geomap/map_source.h"
#include "marovia/geomap/position.h"

namespace marovia {
class TGeoMap;
class TPositionLayer;
}  // namespace marovia

namespace marovia::qt {

class MapWidget : public QWidget {
  Q_OBJECT

 public:
  enum class Tool { Pan, ZoomBox, Select, Measure };

  // An empty widget: it shows the background until it is given maps.
  explicit MapWidget(QWidget* parent = nullptr);
  ~MapWidget() override;

  // ---- Maps ---------------------------------------------------------------

  // The atlas whose maps the widget shows; the coarsest map is opened and
  // shown whole. An empty atlas empties the widget.
  void setAtlas(const TAtlasIndex& atlas);
  // Registers every calibration file of a folder (and its landmark files)
  // as the atlas; errorOccurred for each file that cannot be used. Answers
  // the number of maps.
  int openAtlasFolder(const QString& folder);
  const TAtlasIndex& atlas() const;
  // A single map as the whole atlas, shown whole.
  void setMapSource(std::shared_ptr<const TMapSource> source);
  // The map shown (null before the first has loaded).
  std::shared_ptr<const TMapSource> mapSource() const;
  // Index of the atlas's map shown, -1 for none.
  int atlasMap() const;
  // Opens atlas map Index (on the worker) and shows it keeping the view's
  // centre and scale where it can, the whole map otherwise.
  void showAtlasMap(int index);
  // Whether a map is being opened.
  bool isLoading() const;
  // Landmarks drawn on every map (their classes all visible).
  void setLandmarks(const std::vector<TLandMark>& landmarks);
  // Folder of the tile pyramids' cache files of large scans; empty (the
  // default): the user's cache folder. Applies to maps opened afterwards.
  void setCacheFolder(const QString& folder);

  // ---- View ---------------------------------------------------------------

  // The position at the view's centre; false when no map is shown or the
  // map cannot convert there.
  bool center(double& lat, double& lon) const;
  // Centres the view on a position of the map shown; false (view
  // unchanged) when it is not on it.
  bool setCenter(double lat, double lon);
  // View pixels per map pixel.
  double magnification() const;
  void setMagnification(double magnification);
  // Zooms by factor about a widget point, keeping the position under it.
  void zoomAbout(QPoint point, double factor);
  // The whole map in the view.
  void fitMap();
  // The position of a widget pixel; false off the map or where the map
  // cannot convert.
  bool positionAt(QPoint point, double& lat, double& lon) const;

  Tool tool() const { return tool_; }
  void setTool(Tool tool);

  // The picture as shown now (the view composed by the map control),
  // width() x height(), QImage::Format_RGB32.
  QImage picture();

  // The map control behind the view, for settings the widget does not
  // cover (grid, colours, label placement). Views changed through it are
  // reported at the next event.
  TGeoMap& mapControl();

  // ---- Live position -------------------------------------------------------

  // Takes a source (started here; null stops the one shown) and draws its
  // fixes. The track so far starts empty.
  void setPositionSource(std::unique_ptr<TPositionSource> source);
  TPositionSource* positionSource() const;
  const TPositionLayer& positionLayer() const;
  bool follows() const { return follow_; }
  void setFollow(bool follow);

 signals:
  void viewChanged();
  void hovered(double lat, double lon);
  // A left click that did not drag: its position and the landmarks under
  // it (numbers 1.. of the map control's list).
  void clicked(double lat, double lon, const QVector<int>& items);
  // The Select tool's box, corners in drag order (degrees).
  void selected(double lat1, double lon1, double lat2, double lon2);
  // The Measure tool's line: its geodesic length in metres and its points
  // (x longitude, y latitude).
  void measured(double metres, const QVector<QPointF>& points);
  void mapChanged();
  // Opening a map: 0..100 (a pyramid being built), and 100 when shown.
  void loadProgress(int percent);
  void errorOccurred(const QString& message);
  // A fix was drawn (after the repaint it caused).
  void positionUpdated(double lat, double lon);
  // The source's state changed: "connecting", "receiving", "lost",
  // "stopped", and why.
  void sourceStateChanged(const QString& state, const QString& why);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class Private;
  friend class Private;
  std::unique_ptr<Private> d_;
  Tool tool_ = Tool::Pan;
  bool follow_ = false;
};

}  // namespace marovia::qt
