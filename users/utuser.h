#pragma once
// User administration: lists the users of the table and adds, changes and
// deletes them. Opened modally from the login dialog.

#include <QDialog>
#include <QString>
#include <exception>
#include <memory>

#include "users/Utdboper.h"

namespace Ui {
class frmusr;
}

class Tfrmusr : public QDialog {
  Q_OBJECT
 public:
  explicit Tfrmusr(QWidget* owner = nullptr);
  ~Tfrmusr() override;

  void RefreshUserList();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void lv1SelectItem();
  void btnaddClick();
  void btndelClick();
  void btnupdateClick();
  void btnexitClick();
  void Warn(const char* key, const QString& defaultText);
  bool Confirm(const QString& text);
  void ShowDbError(const std::exception& e);
  bool Report(UserOpResult r);

  std::unique_ptr<Ui::frmusr> ui_;
  bool selected_ = false;
  QString selectedName_;  // the name of the row selected last
};
