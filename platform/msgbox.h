#pragma once
// Message boxes whose title shows whole: a box sized to a short text would leave the
// window manager too narrow a title bar, which cuts the program's name.

#include <QMessageBox>
#include <QString>

// The least width of a box whose title text is titleWidth pixels wide: the title plus
// the room the title bar's icon and buttons take.
int MessageBoxWidthForTitle(int titleWidth);

// Shows a modal box and returns the button chosen.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
