#pragma once
// The login dialog shown before any main-window form exists. It also makes the
// first choices of the process: the store, the language file and the user database.

#include <QDialog>
#include <QString>
#include <memory>

class utDbOper;
class utlanchg;
class utPubParam;
class TdmData;
namespace Ui {
class frmLogin;
}

enum class LoginOutcome {
  Accepted,
  Refused,       // wrong name or password; the dialog stays
  TooManyTries,  // the program ends
};

// One press of the login button; attempt counts the presses so far, this one
// included. With users in the table only a matching name and password pass; an
// empty table lets an empty name with an empty password in and ends the program
// on the fourth wrong try. Throws DbError.
LoginOutcome EvaluateLogin(utDbOper& db, const QString& name, const QString& password,
                           int attempt);

// Reads the language choice of "system.par" and points the language holder at
// "langchs.ini" (0), "langeng.ini" (1) or nothing (any other value); Qt's own dialogs
// and buttons speak Chinese unless the choice is English.
void ChooseLanguageFile();

class TfrmLogin : public QDialog {
  Q_OBJECT
 public:
  // The dialog's result after too many wrong tries.
  static constexpr int kAborted = 2;

  explicit TfrmLogin(QWidget* owner = nullptr);
  ~TfrmLogin() override;

  // Shows the dialog modally; true when the login was accepted.
  bool Execute();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void btnLoginClick();
  void btn2Click();
  void btn1Click();
  void ShowDbError(const char* what);

  std::unique_ptr<Ui::frmLogin> ui_;
  int attempts_ = 0;
  bool accepted_ = false;
  utlanchg* lanchg_ = nullptr;
  utPubParam* pubParam_ = nullptr;
  TdmData* dmData_ = nullptr;  // owned as a child of the dialog
};
