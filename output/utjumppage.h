#pragma once
// The go-to-page dialog of the report preview: "第 [n] 页" under the page total. OK hands
// the typed page back, Cancel or closing hands back 0. The entry takes digits,
// Backspace and Enter only.

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class frmjumppage;
}

class Tfrmjumppage : public QDialog {
  Q_OBJECT
 public:
  // setJumpPage receives the page once the dialog closes.
  Tfrmjumppage(QWidget* owner, std::function<void(int)> setJumpPage);
  ~Tfrmjumppage() override;

  // Shows the current page in the entry and the total above it.
  void Prepare(int currentPage, const QString& totalText);

  void btn1Click();
  void btn2Click();
  Ui::frmjumppage* Form() const { return ui.get(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int result) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::unique_ptr<Ui::frmjumppage> ui;
  std::function<void(int)> setJumpPage_;
  int page_ = 0;
  bool handedBack_ = false;
};

// The page typed: its leading digits (empty gives 0), at most the largest int.
int TypedPage(const QString& text);
