#pragma once
// Message boxes of the login and user dialogs. Tests replace the box with a
// handler that records the call and answers it.

#include <QString>
#include <functional>

class QWidget;

enum class MsgKind { Error, Warning, Confirmation };

// Returns true for OK or Yes.
bool ShowUserMessage(QWidget* parent, MsgKind kind, const QString& text);

using UserMessageHandler = std::function<bool(MsgKind, const QString&)>;
// An empty handler restores the real boxes.
void SetUserMessageHandler(UserMessageHandler handler);
