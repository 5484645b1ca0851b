// MapWidget's inside: the form holding the map control, the library's host
// glue with this widget as its window, the loader, the atlas and the live
// position.
#pragma once

#include <QPoint>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "map_loader.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/host_window.h"
#include "marovia/qt/map_widget.h"

namespace marovia::qt {

class MapWidget::Private : public THostWindow {
 public:
  explicit Private(MapWidget* Q);
  ~Private() override;

  // THostWindow
  void PictureChanged() override;
  void ShowCursor(TCursor Cursor) override;
  void SetTitle(const std::string&) override {}  // a widget has no title
  void PumpAfter(std::chrono::milliseconds Delay) override;
  void Wake() override;

  // Runs the library's message loop and shows what changed.
  void Pump();
  // The control was changed directly: show it.
  void Touched();
  // After every change shown: missing tiles to the loader, viewChanged.
  void AfterActivity();
  void TilesArrived();
  void Error(const std::string& Message);
  void KeyCommand(const TKeyEvent& Key);
  QVector<int> ItemsAt(QPoint P) const;
  void ConnectMapEvents();
  void WheelZoom(QPoint At, double Factor);

  // A view carried over to another map: this position at this widget
  // point, at this scale.
  struct TKeptView {
    double Lat = 0, Lon = 0;
    double MetresPerViewPixel = 0;
    QPoint At;
  };
  std::optional<TKeptView> KeepView(QPoint At) const;
  void Load(int Index, std::optional<TKeptView> Keep);
  void Show(std::shared_ptr<const TMapSource> Source, int Index, std::optional<TKeptView> Keep);
  void ShowNothing();

  // Live position (map_widget_position.cpp).
  void OnFix(const TPositionFix& Fix);
  void OnState(TSourceState State, const std::string& Why);
  void Follow(const TPositionFix& Fix);
  void AfterMapShown();
  void Painted();

  struct TViewState {
    int32_t Left = 0, Top = 0;
    double Magnification = 0;
    int Width = 0, Height = 0;
    const TMapSource* Map = nullptr;
    friend bool operator==(const TViewState&, const TViewState&) = default;
  };
  TViewState ViewState() const;

  MapWidget* q;
  std::unique_ptr<TForm> form;
  TGeoMap* map = nullptr;  // owned by the form
  std::unique_ptr<TFormHost> host;
  QTimer timer;
  std::atomic<bool> wakeQueued{false};
  TViewState reported;

  TAtlasIndex atlas;
  int shown = -1;
  std::shared_ptr<const TMapSource> source;
  std::shared_ptr<qt_detail::TReadyTiles> tiles;
  std::string cacheFolder;

  struct TPress {
    bool Down = false;
    QPoint At;
    bool Ok = false;
    double Lat = 0, Lon = 0;
    QVector<int> Items;
  } press;
  QPoint pointer;
  std::vector<TCoords> measure;

  std::unique_ptr<TPositionSource> position;
  std::shared_ptr<TPositionLayer> layer;
  std::optional<TPositionFix> followPending;  // a fix waiting for its map to load

  // Declared last: its threads stop before anything they report to goes.
  qt_detail::TMapLoader loader;
};

}  // namespace marovia::qt
