#include "platform/msgbox.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>

namespace {
constexpr int kTitleBarExtras = 120;  // icon, minimise/maximise/close buttons, padding
}

int MessageBoxWidthForTitle(int titleWidth) { return titleWidth <= 0 ? 0 : titleWidth + kTitleBarExtras; }

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, title, text, buttons, parent);
  if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
  // The title bar's font is the window manager's; a bold application font stands in.
  QFont font = box.font();
  font.setBold(true);
  const int width = MessageBoxWidthForTitle(QFontMetrics(font).horizontalAdvance(title));
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()); grid && width > 0)
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0,
                  1, grid->columnCount());
  return static_cast<QMessageBox::StandardButton>(box.exec());
}
