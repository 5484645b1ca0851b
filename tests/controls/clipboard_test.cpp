// The clipboard: bitmap and text content, batching and the host hooks.
#include <gtest/gtest.h>

#include "marovia/platform/clipbrd.h"

namespace marovia {
namespace {

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clipboard().OnChange = nullptr;
    Clipboard().OnRequest = nullptr;
    Clipboard().Clear();
  }
  void TearDown() override { SetUp(); }
};

TEST_F(ClipboardTest, BitmapRoundTripIsACopy) {
  TBitmap src(3, 2);
  src.Canvas().SetPixels(0, 0, clRed);
  src.Canvas().SetPixels(2, 1, clBlue);
  Clipboard().Assign(src);
  src.Canvas().SetPixels(0, 0, clLime);  // the clipboard holds its own copy
  ASSERT_TRUE(Clipboard().HasFormat(CF_BITMAP));
  EXPECT_FALSE(Clipboard().HasFormat(CF_TEXT));
  TBitmap out;
  Clipboard().GetAsBitmap(out);
  ASSERT_EQ(out.Width(), 3);
  ASSERT_EQ(out.Height(), 2);
  EXPECT_EQ(out.Canvas().Pixels(0, 0), clRed);
  EXPECT_EQ(out.Canvas().Pixels(2, 1), clBlue);
  EXPECT_EQ(out.Canvas().Pixels(1, 0), clWhite);
  TBitmap viaAssign;
  viaAssign.Assign(Clipboard());
  EXPECT_EQ(viaAssign.Canvas().Pixels(0, 0), clRed);
}

TEST_F(ClipboardTest, ClearAndNewContentReplaceTheOld) {
  Clipboard().SetAsText("hello");
  TBitmap b(1, 1);
  Clipboard().Assign(b);
  EXPECT_FALSE(Clipboard().HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard().AsText(), "");
  Clipboard().Clear();
  EXPECT_FALSE(Clipboard().HasFormat(CF_BITMAP));
  TBitmap out;
  EXPECT_THROW(Clipboard().GetAsBitmap(out), EClipboardException);
  EXPECT_THROW(Clipboard().Assign(TPen()), EConvertError);
}

TEST_F(ClipboardTest, OpenCloseBatchesOneContentAndOneNotification) {
  int changes = 0;
  Clipboard().OnChange = [&](TClipboard& C) {
    ++changes;
    EXPECT_TRUE(C.HasFormat(CF_BITMAP));
  };
  TBitmap b(2, 2);
  Clipboard().Open();
  Clipboard().SetAsText("both");
  Clipboard().Assign(b);
  EXPECT_EQ(changes, 0);
  Clipboard().Close();
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(Clipboard().HasFormat(CF_TEXT));
  Clipboard().Assign(b);
  EXPECT_EQ(changes, 2);
}

TEST_F(ClipboardTest, HostCanSupplyTheSystemContentOnRead) {
  int changes = 0;
  Clipboard().OnChange = [&](TClipboard&) { ++changes; };
  Clipboard().OnRequest = [](TClipboard& C) { C.SetAsText("from the system"); };
  EXPECT_TRUE(Clipboard().HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard().AsText(), "from the system");
  EXPECT_EQ(changes, 0);  // loading from the host is not a change to report
}

}  // namespace
}  // namespace marovia
