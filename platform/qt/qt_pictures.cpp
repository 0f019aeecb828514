#include "platform/qt/qt_pictures.h"

#include <QBitmap>
#include <QPixmap>
#include <QString>

#include "app/resource_ids.h"

namespace qtr5 {
namespace {

const char* PictureFile(int id) {
  switch (id) {
    case kBitmapLogo:
      return "logo.bmp";
    case kBitmapWait:
      return "wait.bmp";
    case kBitmapOk:
      return "ok.bmp";
    case kBitmapNg:
      return "ng.bmp";
    case kBitmapNoDevice:
      return "no_device.bmp";
    case kBitmapBrowse:
      return "open_folder.bmp";
    default:
      return nullptr;
  }
}

}  // namespace

QImage LoadPicture(int id) {
  const char* file = PictureFile(id);
  if (file == nullptr) return {};
  return QImage(QStringLiteral(":/qtr5/bitmaps/") + QString::fromLatin1(file));
}

QIcon LoadProgramIcon(int id) {
  if (id != kIconApp) return {};
  QIcon icon;
  for (int size : {16, 32, 48, 64})
    icon.addFile(QStringLiteral(":/qtr5/bitmaps/qtr5-download-%1.png").arg(size),
                 QSize(size, size));
  return icon;
}

QPixmap BrowsePixmap() {
  QPixmap pixmap = QPixmap::fromImage(LoadPicture(kBitmapBrowse));
  if (pixmap.isNull()) return pixmap;
  // The bitmap is drawn on the Windows button face (240, 240, 240).
  pixmap.setMask(pixmap.createMaskFromColor(QColor(240, 240, 240), Qt::MaskInColor));
  return pixmap;
}

}  // namespace qtr5
