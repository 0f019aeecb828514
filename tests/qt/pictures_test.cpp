// The program's pictures as the Qt window loads them: every one is there,
// sized for its button, and the state pictures carry their colours.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <string>

#include "frontends/desktop/desktop_program.h"
#include "resources/resource_ids.h"
#include "winui/qt/qt_pictures.h"

namespace {

struct Ink {
  int green = 0;  // clearly green pixels
  int red = 0;    // clearly red pixels
  int dark = 0;   // near-black pixels
};

Ink Count(const QImage& image) {
  Ink ink;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      const int r = c.red(), g = c.green(), b = c.blue();
      if (g > 150 && 2 * g > 3 * r && 2 * g > 3 * b) ++ink.green;
      if (r > 150 && r > 2 * g && r > 2 * b) ++ink.red;
      if (std::max({r, g, b}) < 64) ++ink.dark;
    }
  }
  return ink;
}

struct StatePicture {
  int id;
  bool red;
};

class StatePictureTest : public ::testing::TestWithParam<StatePicture> {};

TEST_P(StatePictureTest, LitTextOnBlackSizedForThePictureButton) {
  const QImage image = qtr5::LoadPicture(qtr5::ProgramPictures(), GetParam().id);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(174, 65));  // 116 x 40 dialog units with 6 x 13 base units
  const Ink ink = Count(image);
  const int pixels = image.width() * image.height();
  EXPECT_GT(ink.dark, pixels / 2);  // mostly black
  const int lit = GetParam().red ? ink.red : ink.green;
  const int other = GetParam().red ? ink.green : ink.red;
  EXPECT_GT(lit, 150);  // the text is there, in its colour
  EXPECT_EQ(other, 0);
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, StatePictureTest,
                         ::testing::Values(StatePicture{kBitmapWait, false},
                                           StatePicture{kBitmapOk, false},
                                           StatePicture{kBitmapNg, false},
                                           StatePicture{kBitmapNoDevice, true}),
                         [](const ::testing::TestParamInfo<StatePicture>& info) {
                           return "Bitmap" + std::to_string(info.param.id);
                         });

TEST(PicturesTest, EveryPictureIsDistinctAndUnknownIdsGiveNothing) {
  const int ids[] = {kBitmapLogo, kBitmapWait, kBitmapOk, kBitmapNg, kBitmapNoDevice};
  for (int a : ids) {
    for (int b : ids) {
      if (a != b) {
        EXPECT_NE(qtr5::LoadPicture(qtr5::ProgramPictures(), a),
                  qtr5::LoadPicture(qtr5::ProgramPictures(), b))
            << a << " " << b;
      }
    }
  }
  EXPECT_EQ(qtr5::LoadPicture(qtr5::ProgramPictures(), kBitmapLogo).size(), QSize(174, 65));
  EXPECT_TRUE(qtr5::LoadPicture(qtr5::ProgramPictures(), 102).isNull());
  EXPECT_TRUE(qtr5::LoadPicture(qtr5::ProgramPictures(), 0).isNull());
  EXPECT_TRUE(qtr5::LoadProgramIcon(qtr5::ProgramPictures(), 101).isNull());
}

TEST(PicturesTest, FolderFitsTheBrowseButtonOnATransparentFace) {
  const QImage folder = qtr5::LoadPicture(qtr5::ProgramPictures(), kBitmapBrowse);
  ASSERT_EQ(folder.size(), QSize(16, 16));
  const QImage masked = qtr5::ButtonPixmap(qtr5::ProgramPictures(), kBitmapBrowse).toImage();
  ASSERT_EQ(masked.size(), QSize(16, 16));
  int transparent = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (qAlpha(masked.pixel(x, y)) == 0) ++transparent;
  EXPECT_GT(transparent, 40);   // the face around the folder
  EXPECT_LT(transparent, 200);  // but not the folder itself
  EXPECT_EQ(qAlpha(masked.pixel(0, 0)), 0);
}

TEST(PicturesTest, TheIconComesInTheDesktopSizes) {
  const QIcon icon = qtr5::LoadProgramIcon(qtr5::ProgramPictures(), kIconApp);
  ASSERT_FALSE(icon.isNull());
  for (int size : {16, 32, 48, 64}) {
    const QImage image = icon.pixmap(size, size).toImage();
    EXPECT_EQ(image.size(), QSize(size, size));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;  // round, on a transparent ground
    EXPECT_EQ(qAlpha(image.pixel(size / 4, size / 2)), 255) << size;
  }
}

}  // namespace
