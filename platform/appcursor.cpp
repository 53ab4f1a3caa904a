#include "platform/appcursor.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>

namespace {

std::atomic<AppCursor> g_cursor{AppCursor::Default};
bool g_overridden = false;  // user-interface thread only

// Applies the latest value, so queued calls that arrive late cannot reorder changes.
void Apply() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
  const AppCursor cursor = g_cursor.load();
  if (cursor == AppCursor::Default) {
    if (g_overridden) QGuiApplication::restoreOverrideCursor();
    g_overridden = false;
    return;
  }
  const QCursor shape(cursor == AppCursor::HourGlass ? Qt::WaitCursor : Qt::CrossCursor);
  if (g_overridden) {
    QGuiApplication::changeOverrideCursor(shape);
  } else {
    QGuiApplication::setOverrideCursor(shape);
    g_overridden = true;
  }
}

}  // namespace

void SetAppCursor(AppCursor cursor) {
  g_cursor.store(cursor);
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  if (QThread::currentThread() == app->thread()) {
    Apply();
  } else {
    QMetaObject::invokeMethod(app, &Apply, Qt::QueuedConnection);
  }
}

AppCursor CurrentAppCursor() { return g_cursor.load(); }
