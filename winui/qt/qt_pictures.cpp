#include "winui/qt/qt_pictures.h"

#include <QBitmap>

namespace qtr5 {

QImage LoadPicture(const PictureTable& table, int id) {
  const auto file = table.bitmaps.find(id);
  if (file == table.bitmaps.end()) return {};
  return QImage(QStringLiteral(":/qtr5/bitmaps/") + file->second);
}

QIcon LoadProgramIcon(const PictureTable& table, int id) {
  const auto file = table.icons.find(id);
  if (file == table.icons.end()) return {};
  QIcon icon;
  for (int size : {16, 32, 48, 64})
    icon.addFile(QStringLiteral(":/qtr5/bitmaps/") + file->second.arg(size), QSize(size, size));
  return icon;
}

QPixmap ButtonPixmap(const PictureTable& table, int id) {
  QPixmap pixmap = QPixmap::fromImage(LoadPicture(table, id));
  if (pixmap.isNull() || table.onButtonFace.count(id) == 0) return pixmap;
  pixmap.setMask(pixmap.createMaskFromColor(QColor(240, 240, 240), Qt::MaskInColor));
  return pixmap;
}

}  // namespace qtr5
