// Combo boxes: a field showing the selected item and a drop-down list to
// choose another.
#pragma once

#include "marovia/platform/controls.h"
#include "marovia/platform/stringlist.h"

namespace marovia {

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

// A combo box. Items holds the choices, ItemIndex the selected one (-1:
// none). Setting ItemIndex from code fires nothing; a choice made by the
// user (in the list, or with the wheel on the closed box) fires OnSelect and
// then OnChange when it changes the selection. The list holds at most
// DropDownCount rows at a time and scrolls with the wheel.
//
// Mouse interaction (left button):
//
//   state   event                             action                     next
//   closed  press on the field                open, hot row = ItemIndex  open
//   open    move over the list                hot row = row under it     open
//   open    release over row i                select i, close            closed
//   open    release elsewhere                 nothing                    open
//   open    press on the field                close, no change           closed
//   open    press outside field and list      close, no change           closed
//   closed  wheel                             select next / previous     closed
//   open    wheel                             scroll the list            open
//
// While open the list is drawn below the field above all other controls and
// receives all mouse input of the window.
class TComboBox : public TCustomControl {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;
  std::string ClassName() const override { return "TComboBox"; }

  TStringList& Items() { return items_; }
  const TStringList& Items() const { return items_; }
  void SetItems(const TStringList& Value) { items_.Assign(Value); }
  int ItemIndex() const { return itemIndex_; }
  // Values outside 0..Items.Count-1 select nothing (-1).
  void SetItemIndex(int Value);
  // The selected item's text, or empty.
  std::string Text() const;
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle Value);
  int DropDownCount() const { return dropDownCount_; }
  // At least 1.
  void SetDropDownCount(int Value);
  bool DroppedDown() const { return dropped_; }
  void SetDroppedDown(bool Value);
  // Height of one list row in pixels (from the font).
  int ItemHeight();
  // First row shown in the open list, and the row under the pointer.
  int TopIndex() const { return topIndex_; }
  int HotIndex() const { return hotIndex_; }

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;

 protected:
  TRect PopupRect() const override;
  void PaintPopup(TCanvas& ACanvas) override;

 private:
  void ItemsChanged();
  // Row of the open list at client point (X, Y), or -1.
  int RowAt(int X, int Y) const;
  int VisibleRows() const;
  void ScrollTo(int Row);
  void UserSelect(int Index);

  TStringList items_;
  int itemIndex_ = -1;
  TComboBoxStyle style_ = csDropDown;
  int dropDownCount_ = 8;
  bool dropped_ = false;
  int topIndex_ = 0;
  int hotIndex_ = -1;
  int rowHeight_ = 16;
  int wheelRest_ = 0;
};

}  // namespace marovia
