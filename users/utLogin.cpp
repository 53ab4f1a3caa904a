#include "users/utLogin.h"

#include <QKeyEvent>
#include <QStyle>

#include "data/lanchg.h"
#include "data/pubparam.h"
#include "data/syspar.h"
#include "platform/qttranslations.h"
#include "ui_frmLogin.h"
#include "users/Utdboper.h"
#include "users/udmData.h"
#include "users/usermsg.h"
#include "users/utuser.h"

namespace {
const char* const kSection = "frmLogin";
}

LoginOutcome EvaluateLogin(utDbOper& db, const QString& name, const QString& password,
                           int attempt) {
  if (db.CountUsers() > 0)
    return db.CheckLogin(name, password) ? LoginOutcome::Accepted : LoginOutcome::Refused;
  // No users yet: the first run needs no set-up.
  if (name.isEmpty() && password.isEmpty()) return LoginOutcome::Accepted;
  return attempt > 3 ? LoginOutcome::TooManyTries : LoginOutcome::Refused;
}

void ChooseLanguageFile() {
  ReadLangSelect();
  GetLanchg()->SetLangFile(LangFileFor(GetPubParam()->LANGESELECT));
  InstallQtTranslations(GetPubParam()->LANGESELECT);
}

TfrmLogin::TfrmLogin(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::frmLogin>()) {
  ui_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  ui_->btnLogin->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  ui_->btn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  ui_->btn1->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
  ui_->edName->installEventFilter(this);
  ui_->edPass->installEventFilter(this);
  connect(ui_->btnLogin, &QPushButton::clicked, this, &TfrmLogin::btnLoginClick);
  connect(ui_->btn2, &QPushButton::clicked, this, &TfrmLogin::btn2Click);
  connect(ui_->btn1, &QPushButton::clicked, this, &TfrmLogin::btn1Click);

  lanchg_ = GetLanchg();
  pubParam_ = GetPubParam();
  ChooseLanguageFile();
  FormCreate();
}

TfrmLogin::~TfrmLogin() = default;

void TfrmLogin::FormCreate() {
  dmData_ = new TdmData(this);
  dmData_->SetOpenMode(0);
  dmData_->OpenDatabase();  // a failure here ends start-up with its message
}

bool TfrmLogin::Execute() {
  attempts_ = 0;
  accepted_ = false;
  exec();
  return accepted_;
}

void TfrmLogin::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmLogin::FormShow() {
  try {
    dmData_->OpenDatabase();
    GetDbOper()->InitQueries(*dmData_);
  } catch (const DbError& e) {
    ShowDbError(e.what());
  }
  TranslateForm(kSection, this);
  setWindowTitle(GetLangString(kSection, "Caption", QStringLiteral("用户登录")));
  ui_->edName->setFocus();
}

bool TfrmLogin::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == ui_->edName || watched == ui_->edPass) && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // Only the focus moves: the dialog's default button must not fire.
      ui_->btnLogin->setFocus();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmLogin::ShowDbError(const char* what) {
  ShowUserMessage(this, MsgKind::Error,
                  GetLangString(kSection, "DbError", QStringLiteral("用户数据库出错:")) + "\n" +
                      QString::fromUtf8(what));
}

void TfrmLogin::btnLoginClick() {
  ++attempts_;
  LoginOutcome outcome = LoginOutcome::Refused;
  try {
    outcome = EvaluateLogin(*GetDbOper(), ui_->edName->text(), ui_->edPass->text(), attempts_);
  } catch (const DbError& e) {
    ShowDbError(e.what());
    return;
  }
  switch (outcome) {
    case LoginOutcome::Accepted:
      accepted_ = true;
      accept();
      return;
    case LoginOutcome::Refused:
      ShowUserMessage(this, MsgKind::Error,
                      GetLangString(kSection, "passerror1",
                                    QStringLiteral("密码错误,请确认是否存在.")));
      ui_->edName->setFocus();
      return;
    case LoginOutcome::TooManyTries:
      ShowUserMessage(this, MsgKind::Error,
                      GetLangString(kSection, "passerror2", QStringLiteral("错误超过三次,系统退出.")));
      accepted_ = false;
      done(kAborted);
      return;
  }
}

void TfrmLogin::btn2Click() {
  accepted_ = false;
  reject();
}

void TfrmLogin::btn1Click() {
  Tfrmusr users(this);
  users.exec();
}
