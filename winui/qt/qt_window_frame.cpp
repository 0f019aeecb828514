#include "winui/qt/qt_window_frame.h"

#include <algorithm>

#include "winui/winapi.h"

namespace qtr5 {
namespace {

// Window style bits the portable layer does not name: in a top-level
// window's style 0x00010000 is the maximise box (the same bit is WS_TABSTOP
// on a control) and 0x00040000 the sizing border.
constexpr std::uint32_t kMaximizeBox = 0x00010000;
constexpr std::uint32_t kThickFrame = 0x00040000;

}  // namespace

Qt::WindowFlags WindowFlagsForStyle(std::uint32_t style, bool owned) {
  // CustomizeWindowHint: only the hints given here, never Qt's defaults
  // (which add minimise and maximise boxes to every top-level window).
  Qt::WindowFlags flags = (owned ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint;
  if ((style & WS_CAPTION) != WS_CAPTION) return flags;
  flags |= Qt::WindowTitleHint;
  if (!(style & WS_SYSMENU)) return flags;
  flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
  if (style & kMaximizeBox) flags |= Qt::WindowMaximizeButtonHint;
  return flags;
}

bool IsResizableStyle(std::uint32_t style) {
  return (style & kThickFrame) != 0;
}

QPoint KeepOnScreen(const QRect& frame, const QRect& screen) {
  int x = frame.x();
  int y = frame.y();
  x = std::min(x, screen.x() + screen.width() - frame.width());
  y = std::min(y, screen.y() + screen.height() - frame.height());
  x = std::max(x, screen.x());
  y = std::max(y, screen.y());
  return QPoint(x, y);
}

}  // namespace qtr5
