#pragma once
// The dialog that asks what to do with records whose time goes backwards. Its texts
// are fixed (never translated). The result says how it was closed last:
// 1 discard, 2 ignore (keep and flag), 3 closed from the title bar; 0 before the first close.

#include <QDialog>
#include <memory>

namespace Ui {
class frmDataError;
}

class TfrmDataError : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmDataError(QWidget* owner = nullptr);
  ~TfrmDataError() override;

  int Result() const { return result_; }
  // Shows the two time texts, runs the dialog modally and returns the result.
  int Ask(const QString& previousTime, const QString& currentTime);

  void btnNoUseClick();
  void btnIngoreClick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 public slots:
  void reject() override;

 private:
  void CloseWith(int result);

  std::unique_ptr<Ui::frmDataError> ui;
  int result_ = 0;
  bool buttonClosing_ = false;
};

// The one dialog, made on first use with the given owner and reused afterwards.
// Returns null once the owner has been destroyed and no new owner is given.
TfrmDataError* GetDataErrorDialog(QWidget* owner);
