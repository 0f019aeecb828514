#include "winui/qt/qt_dialog_window.h"

#include <algorithm>
#include <cmath>

namespace qtr5 {
namespace {

// Below this the text would be too small to read: the client area scrolls.
constexpr double kSmallestScale = 0.75;

int Scaled(int value, double scale) {
  return static_cast<int>(std::lround(value * scale));
}

// Edges scaled, not sizes, so that controls that meet still meet.
QRect ScaledRect(const QRect& rect, double scale) {
  const int left = Scaled(rect.left(), scale);
  const int top = Scaled(rect.top(), scale);
  return QRect(left, top, Scaled(rect.left() + rect.width(), scale) - left,
               Scaled(rect.top() + rect.height(), scale) - top);
}

}  // namespace

void DialogWindow::FitInto(const QSize& room, const QMargins& frame) {
  if (full_.isEmpty()) {
    full_ = client_->size();
    font_ = client_->font();
    for (QWidget* control : client_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      placed_.emplace_back(control, control->geometry());
  }
  if (full_.isEmpty()) return;
  const QSize most = room.shrunkBy(frame);
  const double fits = std::min({1.0, static_cast<double>(most.width()) / full_.width(),
                                static_cast<double>(most.height()) / full_.height()});
  const double scale = std::max(fits, kSmallestScale);
  if (scale == scale_ && scroll_ == nullptr && scale == 1.0) return;
  DrawAt(scale);
  const QSize needed(Scaled(full_.width(), scale), Scaled(full_.height(), scale));
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (scroll_ == nullptr && needed.width() <= most.width() && needed.height() <= most.height()) {
    setFixedSize(needed);
    client_->setGeometry(rect());
    return;
  }
  if (scroll_ == nullptr) {
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidget(client_);
    scroll_->show();
  }
  client_->setFixedSize(needed);
  setFixedSize(needed.boundedTo(most));
  scroll_->setGeometry(rect());
}

void DialogWindow::DrawAt(double scale) {
  if (scale == scale_) return;
  scale_ = scale;
  QFont font = font_;
  if (font_.pixelSize() > 0) {
    font.setPixelSize(std::max(1, static_cast<int>(font_.pixelSize() * scale)));
  } else {
    font.setPointSizeF(font_.pointSizeF() * scale);
  }
  client_->setFont(font);
  for (const auto& [control, rect] : placed_)
    if (control != nullptr) control->setGeometry(ScaledRect(rect, scale));
}

}  // namespace qtr5
