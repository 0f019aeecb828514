// The pictures of the Qt window: bitmaps compiled into the program, found by
// the resource identifiers the program gives them (see PictureTable).
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <map>
#include <set>

namespace qtr5 {

// Which picture each resource identifier stands for, given by the program.
struct PictureTable {
  // Bitmaps: identifier -> file among the compiled-in pictures.
  std::map<int, QString> bitmaps;
  // Bitmaps drawn on the Windows button face (240, 240, 240): on a push
  // button that face is made transparent, so that they sit on any style.
  std::set<int> onButtonFace;
  // Icons: identifier -> file name with "%1" for the size in pixels; each
  // icon comes in 16, 32, 48 and 64.
  std::map<int, QString> icons;
  // What a bitmap shows, in words ("OK!"): the state picture's accessible
  // name. A bitmap without one (a frame of an animation) leaves the name as
  // it was.
  std::map<int, QString> texts;
};

// The bitmap `id` of `table`; a null image for any other identifier.
QImage LoadPicture(const PictureTable& table, int id);

// The icon `id` of `table` in every size it is drawn in; a null icon for any
// other identifier.
QIcon LoadProgramIcon(const PictureTable& table, int id);

// The bitmap `id` as a push button shows it (see onButtonFace).
QPixmap ButtonPixmap(const PictureTable& table, int id);

}  // namespace qtr5
