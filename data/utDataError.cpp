#include "data/utDataError.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QStyle>

#include "ui_frmDataError.h"

namespace {
QPointer<TfrmDataError> frmDataError;
}

TfrmDataError::TfrmDataError(QWidget* owner) : QDialog(owner), ui(new Ui::frmDataError) {
  ui->setupUi(this);
  // Single border with the system menu only: no minimise, maximise or help button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(286, 150);
  ui->img1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 34));
  ui->btnNoUse->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
  ui->btnIngore->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  connect(ui->btnNoUse, &QPushButton::clicked, this, &TfrmDataError::btnNoUseClick);
  connect(ui->btnIngore, &QPushButton::clicked, this, &TfrmDataError::btnIngoreClick);
}

TfrmDataError::~TfrmDataError() = default;

int TfrmDataError::Ask(const QString& previousTime, const QString& currentTime) {
  ui->lbBtime->setText(previousTime);
  ui->lbNTime->setText(currentTime);
  exec();
  return result_;
}

void TfrmDataError::btnNoUseClick() { CloseWith(1); }
void TfrmDataError::btnIngoreClick() { CloseWith(2); }

void TfrmDataError::CloseWith(int result) {
  result_ = result;
  // The close that follows is the button's own: it must not read as the close box.
  buttonClosing_ = true;
  close();
  buttonClosing_ = false;
  if (isVisible()) QDialog::done(result);
}

void TfrmDataError::closeEvent(QCloseEvent* event) {
  if (!buttonClosing_) result_ = 3;
  event->accept();
  QDialog::done(result_);
}

void TfrmDataError::keyPressEvent(QKeyEvent* event) {
  // Escape would end the dialog without a choice and leave the previous result in place.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfrmDataError::reject() {
  // Any other way of dismissing the dialog counts as closing it from the title bar.
  if (!buttonClosing_) result_ = 3;
  QDialog::done(result_);
}

TfrmDataError* GetDataErrorDialog(QWidget* owner) {
  if (!frmDataError) frmDataError = new TfrmDataError(owner);
  return frmDataError;
}
