#include "output/utjumppage.h"

#include <QKeyEvent>
#include <algorithm>
#include <climits>

#include "data/lanchg.h"
#include "platform/typedkey.h"
#include "reports/numformat.h"
#include "ui_frmjumppage.h"

int TypedPage(const QString& text) {
  return static_cast<int>(std::clamp<std::int64_t>(LeadingInt(text), INT_MIN, INT_MAX));
}

Tfrmjumppage::Tfrmjumppage(QWidget* owner, std::function<void(int)> setJumpPage)
    : QDialog(owner), ui(new Ui::frmjumppage), setJumpPage_(std::move(setJumpPage)) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(140, 77);
  setAttribute(Qt::WA_DeleteOnClose);
  TranslateOnShow("frmjumppage", this);
  ui->edt1->installEventFilter(this);
  connect(ui->btn1, &QPushButton::clicked, this, &Tfrmjumppage::btn1Click);
  connect(ui->btn2, &QPushButton::clicked, this, &Tfrmjumppage::btn2Click);
}

Tfrmjumppage::~Tfrmjumppage() = default;

void Tfrmjumppage::Prepare(int currentPage, const QString& totalText) {
  ui->edt1->setText(QString::number(currentPage));
  ui->edt1->selectAll();
  ui->lbl3->setText(totalText);
}

void Tfrmjumppage::btn1Click() {
  page_ = TypedPage(ui->edt1->text());
  accept();
}

void Tfrmjumppage::btn2Click() {
  page_ = 0;
  reject();
}

void Tfrmjumppage::done(int result) {
  // Whatever closes the dialog hands a page back once; only OK hands back the entry.
  if (!handedBack_) {
    handedBack_ = true;
    if (setJumpPage_) setJumpPage_(result == QDialog::Accepted ? page_ : 0);
  }
  QDialog::done(result);
}

bool Tfrmjumppage::eventFilter(QObject* watched, QEvent* event) {
  if (watched != ui->edt1 || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const int ch = TypedChar(*static_cast<QKeyEvent*>(event));
  if (ch == 13) {
    btn1Click();
    return true;
  }
  // Of the typed characters only digits and Backspace edit the entry; every other one,
  // Escape included, is dropped here. Keys that type none keep their editing role.
  return ch != 0 && ch != 8 && !(ch >= '0' && ch <= '9');
}

void Tfrmjumppage::keyPressEvent(QKeyEvent* event) {
  // Escape on a button does not cancel either: only 取消 does.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
