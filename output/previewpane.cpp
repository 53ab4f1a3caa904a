#include "output/previewpane.h"

#include <QLabel>
#include <QScrollArea>
#include <algorithm>

QRect PreviewRoom(QSize form, int toolBarHeight, int panelWidth, int statusBarHeight) {
  return QRect(panelWidth, toolBarHeight, std::max(0, form.width() - panelWidth),
               std::max(0, form.height() - toolBarHeight - statusBarHeight));
}

void HoldPreviewPage(QScrollArea* area, QLabel* page) {
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(false);
  area->setAlignment(Qt::AlignCenter);
  area->setAutoFillBackground(false);
  area->viewport()->setAutoFillBackground(false);
  area->setWidget(page);
}

void PlacePreviewPage(QScrollArea* area, QLabel* page, QRect room, QSize image) {
  if (area->geometry() != room) area->setGeometry(room);
  if (page->size() != image) page->resize(image);
}
