// The Qt widgets that draw the controls of the dialog templates: static text
// with the dialog manager's tab stops, the flat picture button, the progress
// bar that shows its window text, and the report-style list view.
#pragma once

#include <QAbstractButton>
#include <QFrame>
#include <QImage>
#include <QProgressBar>
#include <QString>
#include <QTextOption>
#include <QTreeWidget>

namespace qtr5 {

// A static text control: wraps at word boundaries, expands tabs to stops
// every eight average character widths, shows '&' prefixes as Windows does
// ("&&" is one '&', a single '&' is dropped), aligned left, centred or right.
// A text with more lines than the control has room for (a long status such
// as the note that the program waits for the drive) is drawn in a smaller
// font, down to kSmallestTextPixels, so that it is read to its end.
class StaticText : public QFrame {
 public:
  StaticText(QWidget* parent, Qt::Alignment alignment, int averageCharWidth);
  void SetText(const QString& text);
  QString Text() const { return text_; }
  // The text as shown, with the '&' prefixes resolved.
  QString ShownText() const;
  // Where each line's tab-separated fields start, in pixels from the left of
  // the text area, as the text is laid out: one list per line break ('\n').
  QList<QList<qreal>> FieldStarts() const;
  // The font the text is drawn in: the control's own, or the largest
  // smaller one its lines fit the control in.
  QFont FittingFont() const;
  static constexpr int kSmallestTextPixels = 8;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTextOption Option() const;

  QString text_;
  Qt::Alignment alignment_;
  int tabStop_;
};

// The flat push button that shows the state picture. The picture keeps its
// size and sits in the middle; where the button is wider or taller than the
// picture, the picture's edge pixels are carried on to the border, so the
// picture fills the button at any dialog font size.
class PictureButton : public QAbstractButton {
 public:
  explicit PictureButton(QWidget* parent);
  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};

// A progress bar that shows the text the program set as its window text
// ("42%"), not one it computes itself.
class TextProgressBar : public QProgressBar {
 public:
  explicit TextProgressBar(QWidget* parent);
  void SetBarText(const QString& text);
  QString text() const override { return windowText_; }

 private:
  QString windowText_;
};

// A report-style list view: a header with the columns, one line per row, no
// tree decoration, no sorting.
class ReportView : public QTreeWidget {
 public:
  ReportView(QWidget* parent, bool singleSelection, bool showSelectionAlways, bool sortableHeader);
};

}  // namespace qtr5
