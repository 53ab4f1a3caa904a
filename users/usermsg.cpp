#include "users/usermsg.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "platform/msgbox.h"

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
      ShowMessageBox(parent, QMessageBox::Critical, title, text);
      return true;
    case MsgKind::Warning:
      ShowMessageBox(parent, QMessageBox::Warning, title, text);
      return true;
    case MsgKind::Confirmation:
      return ShowMessageBox(parent, QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No,
                            QMessageBox::No) == QMessageBox::Yes;
  }
  return false;
}
