#include "users/usermsg.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {
UserMessageHandler& Handler() {
  static UserMessageHandler handler;
  return handler;
}
}  // namespace

void SetUserMessageHandler(UserMessageHandler handler) { Handler() = std::move(handler); }

bool ShowUserMessage(QWidget* parent, MsgKind kind, const QString& text) {
  if (Handler()) return Handler()(kind, text);
  const QString title = QCoreApplication::applicationName();
  switch (kind) {
    case MsgKind::Error:
      QMessageBox::critical(parent, title, text);
      return true;
    case MsgKind::Warning:
      QMessageBox::warning(parent, title, text);
      return true;
    case MsgKind::Confirmation:
      return QMessageBox::warning(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) == QMessageBox::Yes;
  }
  return false;
}
