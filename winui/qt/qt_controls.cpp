#include "winui/qt/qt_controls.h"

#include "winui/qt/qt_accessibility.h"

#include <QHeaderView>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionFrame>
#include <QTextLayout>
#include <QTextOption>

namespace qtr5 {

StaticText::StaticText(QWidget* parent, Qt::Alignment alignment, int averageCharWidth)
    : QFrame(parent), alignment_(alignment), tabStop_(8 * averageCharWidth) {}

void StaticText::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  // Read out by a screen reader as a change of the label's name (the status
  // line's news in particular).
  SetAccessibleName(this, AccessibleLine(ShownText()));
  update();
}

QString StaticText::ShownText() const {
  QString shown;
  shown.reserve(text_.size());
  for (qsizetype i = 0; i < text_.size(); ++i) {
    if (text_[i] == u'&') {
      if (i + 1 < text_.size() && text_[i + 1] == u'&') {
        shown += u'&';
        ++i;
      }
      continue;
    }
    shown += text_[i];
  }
  return shown;
}

QTextOption StaticText::Option() const {
  QTextOption option(alignment_ | Qt::AlignTop);
  option.setWrapMode(QTextOption::WordWrap);
  option.setTabStopDistance(tabStop_);
  return option;
}

QList<QList<qreal>> StaticText::FieldStarts() const {
  QList<QList<qreal>> starts;
  for (const QString& line : ShownText().split(u'\n')) {
    QTextLayout layout(line, font());
    layout.setTextOption(Option());
    layout.beginLayout();
    QTextLine first = layout.createLine();
    if (first.isValid()) first.setLineWidth(contentsRect().width());
    layout.endLayout();
    QList<qreal> fields;
    if (first.isValid()) {
      fields << first.cursorToX(0);
      for (qsizetype i = 0; i < line.size(); ++i)
        if (line[i] == u'\t' && (i + 1 >= line.size() || line[i + 1] != u'\t'))
          fields << first.cursorToX(static_cast<int>(i + 1));
    }
    starts << fields;
  }
  return starts;
}

QFont StaticText::FittingFont() const {
  QFont fitting = font();
  if (fitting.pixelSize() <= 0) return fitting;
  const QString shown = ShownText();
  const QRect box = contentsRect();
  const auto height = [&](const QFont& candidate) {
    qreal lines = 0;
    for (const QString& paragraph : shown.split(u'\n')) {
      QTextLayout layout(paragraph, candidate);
      layout.setTextOption(Option());
      layout.beginLayout();
      for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(box.width());
        lines += line.height();
      }
      layout.endLayout();
    }
    return lines;
  };
  while (fitting.pixelSize() > kSmallestTextPixels && height(fitting) > box.height())
    fitting.setPixelSize(fitting.pixelSize() - 1);
  return fitting;
}

void StaticText::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.setFont(FittingFont());
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(QRectF(contentsRect()), ShownText(), Option());
}

PictureButton::PictureButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::NoFocus);
}

void PictureButton::SetPicture(const QImage& picture) {
  picture_ = picture.convertToFormat(QImage::Format_RGB32);
  update();
}

void PictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = rect().adjusted(1, 1, -1, -1);
  painter.fillRect(rect(), palette().color(QPalette::Button));
  // A button drawn smaller than the picture (a dialog fitted to a small
  // screen) shows all of it, made smaller; at the template's size the frame
  // may hide the picture's outermost pixels, as on Windows.
  const QImage picture =
      picture_.width() > width() || picture_.height() > height()
          ? picture_.scaled(area.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)
          : picture_;
  if (!picture.isNull()) {
    const int w = picture.width();
    const int h = picture.height();
    const int left = area.left() + (area.width() - w) / 2 + (isDown() ? 1 : 0);
    const int top = area.top() + (area.height() - h) / 2 + (isDown() ? 1 : 0);
    painter.setClipRect(area);
    // Carry the edge pixels on to the border: left and right of each row,
    // above and below each column, and the corners.
    for (int y = area.top(); y <= area.bottom(); ++y) {
      const int row = std::clamp(y - top, 0, h - 1);
      if (left > area.left())
        painter.fillRect(QRect(area.left(), y, left - area.left(), 1), picture.pixelColor(0, row));
      if (left + w <= area.right())
        painter.fillRect(QRect(left + w, y, area.right() + 1 - left - w, 1),
                         picture.pixelColor(w - 1, row));
    }
    for (int x = std::max(left, area.left()); x < std::min(left + w, area.right() + 1); ++x) {
      if (top > area.top())
        painter.fillRect(QRect(x, area.top(), 1, top - area.top()),
                         picture.pixelColor(x - left, 0));
      if (top + h <= area.bottom())
        painter.fillRect(QRect(x, top + h, 1, area.bottom() + 1 - top - h),
                         picture.pixelColor(x - left, h - 1));
    }
    painter.drawImage(left, top, picture);
    if (!isEnabled()) painter.fillRect(area, QColor(128, 128, 128, 128));
    painter.setClipping(false);
  }
  // The flat button's one-pixel frame, sunken while pressed.
  const QPalette& p = palette();
  painter.setPen(isDown() ? p.color(QPalette::Dark) : p.color(QPalette::Light));
  painter.drawLine(0, 0, width() - 1, 0);
  painter.drawLine(0, 0, 0, height() - 1);
  painter.setPen(isDown() ? p.color(QPalette::Light) : p.color(QPalette::Dark));
  painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
  painter.drawLine(0, height() - 1, width() - 1, height() - 1);
}

TextProgressBar::TextProgressBar(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(true);
  setAlignment(Qt::AlignCenter);
}

void TextProgressBar::SetBarText(const QString& text) {
  if (text == windowText_) return;
  windowText_ = text;
  update();
}

ReportView::ReportView(QWidget* parent, bool singleSelection, bool showSelectionAlways,
                       bool sortableHeader)
    : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSortingEnabled(false);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(singleSelection ? QAbstractItemView::SingleSelection
                                   : QAbstractItemView::ExtendedSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  header()->setSectionsClickable(sortableHeader);
  header()->setSectionResizeMode(QHeaderView::Interactive);
  if (showSelectionAlways) {
    // The selection keeps its colour when the list does not have the focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
  }
}

}  // namespace qtr5
