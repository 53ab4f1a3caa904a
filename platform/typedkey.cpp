#include "platform/typedkey.h"

#include <QKeyEvent>

int TypedChar(const QKeyEvent& key) {
  if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) return 13;
  if (key.key() == Qt::Key_Delete || key.text().isEmpty()) return 0;
  return key.text()[0].unicode();
}
