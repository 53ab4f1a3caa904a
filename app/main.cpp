#include <QWidget>

#include "app/startup.h"
#include "platform/application.h"

int main(int argc, char** argv) {
  return RunApplication(argc, argv, [] {
    auto* form = new QWidget;
    form->setWindowTitle(QString::fromUtf8(kApplicationTitle));
    form->setWindowState(Qt::WindowMaximized);
    return form;
  });
}
