// MapWidget: the Qt side of the host glue (THostWindow), the view API and
// the mouse tools. Maps are opened by the loader (map_loader.cpp), the live
// position is in map_widget_position.cpp.
//
// Sections: the host window | construction | maps | view | painting and
// input | the map control's events.
#include "marovia/qt/map_widget.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "map_widget_private.h"
#include "marovia/geoatlas/geoatlas.h"
#include "marovia/geomap/library_resources.h"
#include "marovia/geomap/map_folder.h"
#include "marovia/geomap/position_layer.h"
#include "marovia/geomap/track_stats.h"
#include "qt_cursors.h"

namespace marovia::qt {

using qt_detail::TMapLoader;
using qt_detail::TReadyTiles;

namespace {

// One wheel notch zooms by this factor.
constexpr double kWheelStep = 1.25;
// The view is never coarser or finer than this.
constexpr double kMinView = 1.0 / 64;
constexpr double kMaxView = 32;
// A press and release closer than this (pixels, each way) is a click.
constexpr int kClickSlop = 3;
// Landmarks this close to a click (view pixels) are picked by it.
constexpr int kPickRadius = 8;
// The background of the view where no map is, as 0x00RRGGBB (silver).
constexpr uint32_t kBackground = 0x00C0C0C0;

TShiftState Modifiers(Qt::KeyboardModifiers M) {
  TShiftState s;
  if (M & Qt::ShiftModifier) s.Include(ssShift);
  if (M & Qt::ControlModifier) s.Include(ssCtrl);
  if (M & Qt::AltModifier) s.Include(ssAlt);
  return s;
}

std::optional<TMouseButton> ButtonOf(Qt::MouseButton B) {
  switch (B) {
    case Qt::LeftButton:
      return mbLeft;
    case Qt::RightButton:
      return mbRight;
    case Qt::MiddleButton:
      return mbMiddle;
    default:
      return std::nullopt;
  }
}

}  // namespace

// ------------------------------------------------------------ the host window

MapWidget::Private::Private(MapWidget* Q) : q(Q), form(std::make_unique<TForm>(nullptr)) {
  form->SetBounds(0, 0, std::max(q->width(), 1), std::max(q->height(), 1));
  map = new TGeoMap(form.get());
  map->SetParent(form.get());
  map->SetAlign(alClient);
  map->SetFrameStyle(fsNone);
  map->SetMaxMapPixels(kMaxTiledMapPixels);
  map->SetPlaceLabels(true);
  map->SetConfinePanToMapImage(false);
  host = std::make_unique<TFormHost>(*form, *this);
  host->OnError = [this](const std::string& Message) { Error(Message); };
  host->OnKeyDown = [this](const TKeyEvent& Key) { KeyCommand(Key); };
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, q, [this] { Pump(); });
  ConnectMapEvents();
  // The library's hand cursor for panning, as the atlas shows it.
  if (Screen().Cursors(crGeoHand) == SystemCursorHandle(crArrow)) {
    try {
      Screen().SetCursors(crGeoHand, LoadCursorW(HInstance(), "CURGEOHAND"));
      Screen().SetCursors(crGeoZoom, LoadCursorW(HInstance(), "CURGEOZOOM"));
    } catch (const std::exception&) {
      // Without its picture the pan tool shows the arrow.
    }
  }
}

MapWidget::Private::~Private() {
  if (position) position->Stop();
  host.reset();
}

void MapWidget::Private::PictureChanged() {
  AfterActivity();
  q->update();
}

void MapWidget::Private::ShowCursor(TCursor Cursor) {
  q->setCursor(qt_detail::QtCursor(Cursor));
}

void MapWidget::Private::PumpAfter(std::chrono::milliseconds Delay) {
  timer.start(static_cast<int>(std::min<int64_t>(Delay.count(), 1 << 30)));
}

void MapWidget::Private::Wake() {
  if (wakeQueued.exchange(true)) return;
  QMetaObject::invokeMethod(
      q,
      [this] {
        wakeQueued = false;
        Pump();
      },
      Qt::QueuedConnection);
}

void MapWidget::Private::Pump() {
  host->Pump();
}

void MapWidget::Private::Touched() {
  Application().NoteActivity();
  TFormHost::PublishAll();
}

void MapWidget::Private::AfterActivity() {
  // Tiles the last paint did not find go to the loader; those of views
  // already left are dropped by it.
  if (tiles) {
    std::vector<qt_detail::TTileKey> missing = tiles->TakeMissing();
    if (!missing.empty())
      loader.RequestTiles(tiles, std::move(missing), [this] { TilesArrived(); });
  }
  const TViewState now = ViewState();
  if (now != reported) {
    reported = now;
    emit q->viewChanged();
  }
}

void MapWidget::Private::TilesArrived() {
  map->Invalidate();
}

MapWidget::Private::TViewState MapWidget::Private::ViewState() const {
  return TViewState{map->TopLeft().X, map->TopLeft().Y, map->Magnification(),
                    map->Width(),     map->Height(),    source.get()};
}

void MapWidget::Private::Error(const std::string& Message) {
  emit q->errorOccurred(QString::fromStdString(Message));
}

// ------------------------------------------------------------ construction

MapWidget::MapWidget(QWidget* parent) : QWidget(parent), d_(std::make_unique<Private>(this)) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(64, 48);
  setTool(Tool::Pan);
}

MapWidget::~MapWidget() = default;

TGeoMap& MapWidget::mapControl() {
  return *d_->map;
}

// ------------------------------------------------------------ maps

void MapWidget::setAtlas(const TAtlasIndex& atlas) {
  d_->atlas = atlas;
  d_->shown = -1;
  if (atlas.Empty()) {
    d_->ShowNothing();
    return;
  }
  // The coarsest map first: the overview from which the user zooms in.
  std::size_t coarsest = 0;
  for (std::size_t i = 1; i < atlas.Count(); ++i)
    if (atlas[i].Resolution > atlas[coarsest].Resolution) coarsest = i;
  d_->Load(static_cast<int>(coarsest), std::nullopt);
}

int MapWidget::openAtlasFolder(const QString& folder) {
  const TMapFiles files = ScanMapFiles({folder.toStdString()});
  std::vector<std::string> problems = files.Problems;
  const TAtlasIndex index = TAtlasIndex::FromFiles(files.Calibrations, problems);
  std::vector<TLandMark> landmarks;
  for (const std::string& file : files.LandmarkFiles) {
    try {
      const std::vector<TLandMark> more = ReadLandMarkFile(file);
      landmarks.insert(landmarks.end(), more.begin(), more.end());
    } catch (const std::exception& e) {
      problems.push_back(file + ": " + e.what());
    }
  }
  for (const std::string& p : problems) d_->Error(p);
  setLandmarks(landmarks);
  setAtlas(index);
  return static_cast<int>(index.Count());
}

const TAtlasIndex& MapWidget::atlas() const {
  return d_->atlas;
}

void MapWidget::setMapSource(std::shared_ptr<const TMapSource> source) {
  if (!source) {
    setAtlas(TAtlasIndex());
    return;
  }
  setAtlas(TAtlasIndex({TAtlasIndex::MapOf(source)}));
}

std::shared_ptr<const TMapSource> MapWidget::mapSource() const {
  return d_->source;
}

int MapWidget::atlasMap() const {
  return d_->shown;
}

void MapWidget::showAtlasMap(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= d_->atlas.Count()) return;
  d_->Load(index, d_->KeepView(QPoint(width() / 2, height() / 2)));
}

bool MapWidget::isLoading() const {
  return d_->loader.Opening();
}

void MapWidget::setLandmarks(const std::vector<TLandMark>& landmarks) {
  TGeoMap& m = *d_->map;
  m.SetSuppressPaint(true);
  m.AssignLandMarks(landmarks);
  for (int c = 0; c < 256; ++c) m.SetClassVisibility(static_cast<uint8_t>(c), true);
  m.SetSuppressPaint(false);
  m.Invalidate();
  d_->Pump();
}

void MapWidget::setCacheFolder(const QString& folder) {
  d_->cacheFolder = folder.toStdString();
}

std::optional<MapWidget::Private::TKeptView> MapWidget::Private::KeepView(QPoint At) const {
  if (!source) return std::nullopt;
  double lat = 0, lon = 0;
  if (!q->positionAt(At, lat, lon)) return std::nullopt;
  const double r = source->Calibration().Data().Resolution;
  if (!(r > 0)) return std::nullopt;
  return TKeptView{lat, lon, r / map->Magnification(), At};
}

void MapWidget::Private::Load(int Index, std::optional<TKeptView> Keep) {
  const TAtlasMap entry = atlas[static_cast<std::size_t>(Index)];
  TMapSourceOptions options;
  options.MaxMapPixels = kMaxTiledMapPixels;
  options.PyramidCacheDir = cacheFolder;
  loader.Open(
      [entry, options](const TProgressEvent& Progress) mutable {
        if (entry.Source) return entry.Source;
        options.OnProgress = Progress;
        return TMapSource::Open(entry.File, entry.DataID, options);
      },
      [this](int Percent) { emit q->loadProgress(Percent); },
      [this, Index, Keep](std::shared_ptr<const TMapSource> Source, const std::string& Why) {
        if (!Source) {
          Error(atlas[static_cast<std::size_t>(Index)].File + ": " + Why);
          return;
        }
        Show(std::move(Source), Index, Keep);
      });
}

void MapWidget::Private::Show(std::shared_ptr<const TMapSource> Source, int Index,
                              std::optional<TKeptView> Keep) {
  std::shared_ptr<TReadyTiles> ready;
  if (Source->Tiled()) ready = std::make_shared<TReadyTiles>(Source->Levels(), kBackground);
  map->SetSuppressPaint(true);
  try {
    map->SetMapSource(Source, ready);
  } catch (const std::exception& e) {
    map->SetSuppressPaint(false);
    Error(e.what());
    return;
  }
  tiles = ready;
  source = std::move(Source);
  shown = Index;
  map->ClearZoomHistory();
  bool placed = false;
  if (Keep) {
    const double r = source->Calibration().Data().Resolution;
    int32_t x = 0, y = 0;
    if (r > 0 && map->CalcPixelCoords(Keep->Lat, Keep->Lon, x, y)) {
      const double m = std::clamp(r / Keep->MetresPerViewPixel, kMinView, kMaxView);
      map->SetMagnification(m);
      map->SetTopLeft(TPoint{static_cast<int32_t>(std::lround(x - Keep->At.x() / m)),
                             static_cast<int32_t>(std::lround(y - Keep->At.y() / m))});
      placed = true;
    }
  }
  if (!placed) map->ZoomFitPage();
  map->SetSuppressPaint(false);
  map->Invalidate();
  Pump();
  emit q->mapChanged();
  emit q->loadProgress(100);
  AfterMapShown();
}

void MapWidget::Private::ShowNothing() {
  map->SetSuppressPaint(true);
  map->Clear();
  map->SetMapBitmap(TBitmap());
  map->SetSuppressPaint(false);
  source.reset();
  tiles.reset();
  shown = -1;
  map->Invalidate();
  Pump();
  emit q->mapChanged();
}

// ------------------------------------------------------------ view

bool MapWidget::positionAt(QPoint point, double& lat, double& lon) const {
  const TGeoMap& m = *d_->map;
  if (!d_->source) return false;
  const TPoint image = m.ControlToMapImage(TPoint{point.x(), point.y()});
  bool latOk = false, lonOk = false;
  const double la = m.CalcLatitude(image, latOk);
  const double lo = m.CalcLongitude(image, lonOk);
  if (!latOk || !lonOk || !std::isfinite(la) || !std::isfinite(lo)) return false;
  lat = la;
  lon = lo;
  return true;
}

bool MapWidget::center(double& lat, double& lon) const {
  return positionAt(QPoint(width() / 2, height() / 2), lat, lon);
}

bool MapWidget::setCenter(double lat, double lon) {
  TGeoMap& m = *d_->map;
  int32_t x = 0, y = 0;
  if (!d_->source || !m.IsPositionWithinMap(lat, lon) || !m.CalcPixelCoords(lat, lon, x, y))
    return false;
  const double mag = m.Magnification();
  m.SetTopLeft(TPoint{x - static_cast<int32_t>(std::lround(width() / mag / 2)),
                      y - static_cast<int32_t>(std::lround(height() / mag / 2))});
  d_->Touched();
  return true;
}

double MapWidget::magnification() const {
  return d_->map->Magnification();
}

void MapWidget::setMagnification(double magnification) {
  zoomAbout(QPoint(width() / 2, height() / 2), magnification / d_->map->Magnification());
}

void MapWidget::zoomAbout(QPoint point, double factor) {
  TGeoMap& m = *d_->map;
  if (!d_->source || !std::isfinite(factor) || factor <= 0) return;
  const double m1 = m.Magnification();
  const double m2 = std::clamp(m1 * factor, kMinView, kMaxView);
  if (m2 == m1) return;
  // The image position under the point stays under it.
  const double ix = point.x() / m1 + m.TopLeft().X, iy = point.y() / m1 + m.TopLeft().Y;
  m.SetSuppressPaint(true);
  m.SetMagnification(m2);
  m.SetTopLeft(TPoint{static_cast<int32_t>(std::lround(ix - point.x() / m2)),
                      static_cast<int32_t>(std::lround(iy - point.y() / m2))});
  m.SetSuppressPaint(false);
  m.Invalidate();
  d_->Pump();
}

void MapWidget::fitMap() {
  if (!d_->source) return;
  d_->map->ZoomFitPage();
  d_->Touched();
}

void MapWidget::setTool(Tool tool) {
  tool_ = tool;
  TGeoMap& m = *d_->map;
  d_->measure.clear();
  switch (tool) {
    case Tool::Pan:
      m.SetMouseAction(maPan);
      m.SetCursor(crGeoHand);
      break;
    case Tool::ZoomBox:
      m.SetMouseAction(maZoomWind);
      m.SetCursor(crCross);
      break;
    case Tool::Select:
      m.SetMouseAction(maSelectRect);
      m.SetCursor(crCross);
      break;
    case Tool::Measure:
      m.SetMouseAction(maRubberBand);
      m.SetCursor(crCross);
      break;
  }
  d_->Touched();
}

QImage MapWidget::picture() {
  d_->Pump();
  const TBitmap& p = d_->host->Picture();
  if (p.Empty()) return QImage();
  // 0x00RRGGBB words, rows top-down: Format_RGB32 exactly (copied, so the
  // image outlives the next composition).
  return QImage(reinterpret_cast<const uchar*>(p.Bits()), p.Width(), p.Height(), p.Width() * 4,
                QImage::Format_RGB32)
      .copy();
}

// ------------------------------------------------------------ painting and input

void MapWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const TBitmap& p = d_->host->Picture();
  if (p.Empty()) {
    painter.fillRect(rect(), QColor(0xC0, 0xC0, 0xC0));
    return;
  }
  const QImage image(reinterpret_cast<const uchar*>(p.Bits()), p.Width(), p.Height(), p.Width() * 4,
                     QImage::Format_RGB32);
  painter.drawImage(0, 0, image);
  d_->Painted();
}

void MapWidget::resizeEvent(QResizeEvent*) {
  d_->host->Resize(std::max(width(), 1), std::max(height(), 1));
  d_->Pump();
}

void MapWidget::mousePressEvent(QMouseEvent* event) {
  const auto b = ButtonOf(event->button());
  if (!b) return;
  const QPoint p = event->position().toPoint();
  TShiftState shift = Modifiers(event->modifiers());
  if (tool_ == Tool::Measure) {
    // Further clicks add points to the line; the right button ends it
    // where it is (the control ends a line on a plain left click).
    if (*b == mbRight && !d_->measure.empty()) {
      d_->host->MouseDown(mbLeft, shift, p.x(), p.y());
      d_->host->MouseUp(mbLeft, shift, p.x(), p.y());
      d_->Pump();
      return;
    }
    if (*b == mbLeft && !d_->measure.empty()) shift.Include(ssCtrl);
  }
  if (*b == mbLeft) {
    d_->press = Private::TPress{};
    d_->press.At = p;
    d_->press.Down = true;
    d_->press.Ok = positionAt(p, d_->press.Lat, d_->press.Lon);
    if (d_->press.Ok) d_->press.Items = d_->ItemsAt(p);
  }
  d_->host->MouseDown(*b, shift, p.x(), p.y());
  d_->Pump();
}

void MapWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (tool_ == Tool::Measure && event->button() == Qt::LeftButton && !d_->measure.empty()) {
    // The double click's second press ends the line there.
    d_->host->MouseDown(mbLeft, Modifiers(event->modifiers()), p.x(), p.y());
    d_->Pump();
    return;
  }
  mousePressEvent(event);
}

void MapWidget::mouseReleaseEvent(QMouseEvent* event) {
  const auto b = ButtonOf(event->button());
  if (!b) return;
  const QPoint p = event->position().toPoint();
  d_->host->MouseUp(*b, Modifiers(event->modifiers()), p.x(), p.y());
  d_->Pump();
  if (*b == mbLeft && d_->press.Down) {
    d_->press.Down = false;
    const QPoint moved = p - d_->press.At;
    if (d_->press.Ok && std::abs(moved.x()) <= kClickSlop && std::abs(moved.y()) <= kClickSlop)
      emit clicked(d_->press.Lat, d_->press.Lon, d_->press.Items);
  }
}

void MapWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  d_->host->MouseMove(Modifiers(event->modifiers()), p.x(), p.y());
  d_->Pump();
  d_->pointer = p;
  double lat = 0, lon = 0;
  if (positionAt(p, lat, lon)) emit hovered(lat, lon);
}

void MapWidget::wheelEvent(QWheelEvent* event) {
  const QPoint p = event->position().toPoint();
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  d_->host->MouseWheel(Modifiers(event->modifiers()), delta, p.x(), p.y());
  d_->Pump();
  event->accept();
  double lat = 0, lon = 0;
  if (positionAt(p, lat, lon)) emit hovered(lat, lon);
}

void MapWidget::leaveEvent(QEvent*) {
  d_->host->MouseLeave();
  d_->Pump();
}

void MapWidget::keyPressEvent(QKeyEvent* event) {
  TKeyEvent k;
  k.Shift = Modifiers(event->modifiers());
  switch (event->key()) {
    case Qt::Key_Left:
      k.Key = VK_LEFT;
      break;
    case Qt::Key_Right:
      k.Key = VK_RIGHT;
      break;
    case Qt::Key_Up:
      k.Key = VK_UP;
      break;
    case Qt::Key_Down:
      k.Key = VK_DOWN;
      break;
    case Qt::Key_Home:
      k.Key = VK_HOME;
      break;
    case Qt::Key_Escape:
      k.Key = VK_ESCAPE;
      break;
    default:
      if (event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
        k.Key = static_cast<uint16_t>('A' + (event->key() - Qt::Key_A));
      break;
  }
  if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
    k.Text = event->text().toStdString();
  d_->host->KeyDown(k);
  d_->Pump();
}

void MapWidget::Private::KeyCommand(const TKeyEvent& Key) {
  const QPoint centre(q->width() / 2, q->height() / 2);
  if (Key.Text == "+" || Key.Text == "=") {
    q->zoomAbout(centre, kWheelStep);
  } else if (Key.Text == "-") {
    q->zoomAbout(centre, 1 / kWheelStep);
  } else if (Key.Key == VK_HOME) {
    q->fitMap();
  } else if (Key.Key == VK_ESCAPE) {
    q->setTool(q->tool());  // ends a line or box being drawn
  } else if (Key.Key >= VK_LEFT && Key.Key <= VK_DOWN && source) {
    const int dx = Key.Key == VK_LEFT ? -1 : Key.Key == VK_RIGHT ? 1 : 0;
    const int dy = Key.Key == VK_UP ? -1 : Key.Key == VK_DOWN ? 1 : 0;
    const double m = map->Magnification();
    const TPoint tl = map->TopLeft();
    map->SetTopLeft(TPoint{tl.X + static_cast<int32_t>(std::lround(dx * q->width() / 4 / m)),
                           tl.Y + static_cast<int32_t>(std::lround(dy * q->height() / 4 / m))});
  }
}

QVector<int> MapWidget::Private::ItemsAt(QPoint P) const {
  QVector<int> items;
  for (int32_t i = 1; i <= map->NumLandMarks(); ++i) {
    const TLandMark lm = map->LandMarkData(i);
    if (!map->GetClassVisibility(lm.ClassFlag)) continue;
    int32_t x = 0, y = 0;
    if (!map->CalcPixelCoords(lm.Latitude, lm.Longitude, x, y)) continue;
    const TPoint c = map->MapImageToControl(TPoint{x, y});
    if (std::abs(c.X - P.x()) <= kPickRadius && std::abs(c.Y - P.y()) <= kPickRadius)
      items.push_back(i);
  }
  return items;
}

// ------------------------------------------------------------ the map control's events

void MapWidget::Private::ConnectMapEvents() {
  map->OnMouseWheel = [this](TObject*, TShiftState, int Delta, TPoint MousePos, bool& Handled) {
    const TPoint p = map->ScreenToClient(MousePos);
    WheelZoom(QPoint(p.X, p.Y), std::pow(kWheelStep, Delta / 120.0));
    Handled = true;
  };
  map->OnSelectRect = [this](TObject*, int32_t Kind, double X1, double Y1, double X2, double Y2) {
    if (Kind == 1) emit q->selected(Y1, X1, Y2, X2);
  };
  auto geo = [this](TPoint Image, TCoords& Out) {
    bool a = false, b = false;
    Out.Latit = map->CalcLatitude(Image, a);
    Out.Longit = map->CalcLongitude(Image, b);
    return a && b && std::isfinite(Out.Latit) && std::isfinite(Out.Longit);
  };
  auto report = [this] {
    double metres = 0;
    QVector<QPointF> points;
    for (std::size_t i = 0; i < measure.size(); ++i) {
      points.push_back(QPointF(measure[i].Longit, measure[i].Latit));
      if (i > 0)
        metres += GeodesicDistance(measure[i - 1].Latit, measure[i - 1].Longit, measure[i].Latit,
                                   measure[i].Longit);
    }
    emit q->measured(metres, points);
  };
  map->OnBeginRubberBand = [this, geo, report](TObject*, TPoint Image) {
    measure.clear();
    TCoords c;
    if (geo(Image, c)) measure.push_back(c);
    report();
  };
  map->OnContinueRubberBand = [this, geo, report](TObject*, TPoint Image) {
    TCoords c;
    if (geo(Image, c)) measure.push_back(c);
    report();
  };
  map->OnEndRubberBand = [this, geo, report](TObject*, TPoint Image) {
    TCoords c;
    if (geo(Image, c) &&
        (measure.empty() || measure.back().Latit != c.Latit || measure.back().Longit != c.Longit))
      measure.push_back(c);
    report();
    measure.clear();
  };
}

void MapWidget::Private::WheelZoom(QPoint At, double Factor) {
  q->zoomAbout(At, Factor);
  if (!source || shown < 0) return;
  // Past the shown map's range: the atlas's next map at the pointer.
  const double m = map->Magnification();
  const bool in = Factor > 1;
  const bool past =
      in ? m > 1 : source->Width() * m < q->width() && source->Height() * m < q->height();
  const double r = source->Calibration().Data().Resolution;
  if (!past || !(r > 0) || loader.Opening()) return;
  double lat = 0, lon = 0;
  if (!q->positionAt(At, lat, lon)) return;
  const auto next = in ? atlas.Finer(lat, lon, r) : atlas.Coarser(lat, lon, r);
  if (next && static_cast<int>(*next) != shown) Load(static_cast<int>(*next), KeepView(At));
}

}  // namespace marovia::qt
