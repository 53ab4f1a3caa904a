#pragma once
// The chart as it is printed, for as long as a PaperChart lives: white background, black
// cursor and marker texts. Every colour and caption comes back when it goes, however
// the preview was closed.

#include <QPalette>
#include <QPoint>
#include <QString>
#include <vector>

#include "data/pubparam.h"

class TfrmQuna;

class PaperChart {
 public:
  explicit PaperChart(TfrmQuna& form);
  ~PaperChart();
  PaperChart(const PaperChart&) = delete;
  PaperChart& operator=(const PaperChart&) = delete;

 private:
  struct Label {
    int id = 0;
    QPoint at;
    QString text;
    TColor colour = 0;
  };
  TfrmQuna& form_;
  TColor backColor_ = 0;
  QPalette cursorPalette_;
  QString cursorText_;
  std::vector<Label> labels_;
};
