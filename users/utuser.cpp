#include "users/utuser.h"

#include <QHeaderView>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidgetItem>

#include "data/lanchg.h"
#include "ui_frmusr.h"
#include "users/Utdboper.h"
#include "users/usermsg.h"

namespace {
const char* const kSection = "frmusr";
}

Tfrmusr::Tfrmusr(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::frmusr>()) {
  ui_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  ui_->lv1->setColumnWidth(0, 80);
  ui_->lv1->setColumnWidth(1, 120);
  ui_->lv1->horizontalHeader()->setHighlightSections(false);
  ui_->btnadd->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  ui_->btnupdate->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  ui_->btndel->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
  ui_->btnexit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  // Buttons act only when clicked: Enter in an edit must not add or delete.
  for (QPushButton* b : {ui_->btnadd, ui_->btnupdate, ui_->btndel, ui_->btnexit}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  connect(ui_->lv1, &QTableWidget::itemSelectionChanged, this, &Tfrmusr::lv1SelectItem);
  connect(ui_->btnadd, &QPushButton::clicked, this, &Tfrmusr::btnaddClick);
  connect(ui_->btndel, &QPushButton::clicked, this, &Tfrmusr::btndelClick);
  connect(ui_->btnupdate, &QPushButton::clicked, this, &Tfrmusr::btnupdateClick);
  connect(ui_->btnexit, &QPushButton::clicked, this, &Tfrmusr::btnexitClick);
}

Tfrmusr::~Tfrmusr() = default;

void Tfrmusr::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  RefreshUserList();
  TranslateForm(kSection, this);
}

void Tfrmusr::Warn(const char* key, const QString& defaultText) {
  ShowUserMessage(this, MsgKind::Warning, GetLangString(kSection, key, defaultText));
}

void Tfrmusr::ShowDbError(const std::exception& e) {
  ShowUserMessage(this, MsgKind::Warning,
                  GetLangString(kSection, "DbError", QStringLiteral("用户数据库出错:")) + "\n" +
                      QString::fromUtf8(e.what()));
}

// The box for a refused add or change; true when the operation went through.
bool Tfrmusr::Report(UserOpResult r) {
  switch (r) {
    case UserOpResult::Ok: return true;
    case UserOpResult::EmptyName: Warn("Error2", QStringLiteral("用户名不能为空.")); break;
    case UserOpResult::DuplicateName: Warn("Error1", QStringLiteral("已经存在此用户.")); break;
    case UserOpResult::NameTooLong: Warn("Error5", QStringLiteral("用户名不能超过21个字符.")); break;
    case UserOpResult::PasswordTooLong:
      Warn("Error6", QStringLiteral("密码不能超过21个字符."));
      break;
    case UserOpResult::NotFound: Warn("Error4", QStringLiteral("请选择要修改的用户.")); break;
  }
  return false;
}

bool Tfrmusr::Confirm(const QString& text) {
  return ShowUserMessage(this, MsgKind::Confirmation, text);
}

void Tfrmusr::RefreshUserList() {
  std::vector<UserRow> users;
  try {
    users = GetDbOper()->ListUsers();
  } catch (const DbError& e) {
    ShowDbError(e);
  }
  QSignalBlocker block(ui_->lv1);
  ui_->lv1->clearContents();
  ui_->lv1->setRowCount(static_cast<int>(users.size()));
  for (int i = 0; i < static_cast<int>(users.size()); ++i) {
    ui_->lv1->setItem(i, 0, new QTableWidgetItem(QString::number(i + 1)));
    // The row keeps its own name and password: nothing is parsed back out of texts.
    auto* nameItem = new QTableWidgetItem(users[i].name);
    nameItem->setData(Qt::UserRole, users[i].name);
    nameItem->setData(Qt::UserRole + 1, users[i].password);
    ui_->lv1->setItem(i, 1, nameItem);
  }
  selected_ = false;
}

void Tfrmusr::lv1SelectItem() {
  const QModelIndexList rows = ui_->lv1->selectionModel()->selectedRows(1);
  selected_ = !rows.isEmpty();
  if (!selected_) return;
  const QModelIndex& row = rows.front();
  ui_->edtuser->setText(row.data(Qt::UserRole).toString());
  ui_->edtpass->setText(row.data(Qt::UserRole + 1).toString());
  selectedName_ = ui_->edtuser->text();
}

void Tfrmusr::btnaddClick() {
  UserOpResult r = UserOpResult::Ok;
  try {
    r = AddUser(ui_->edtuser->text(), ui_->edtpass->text());
  } catch (const DbError& e) {
    ShowDbError(e);
    return;
  }
  if (Report(r)) {
    RefreshUserList();
  } else if (r == UserOpResult::DuplicateName) {
    ui_->edtuser->clear();
  }
}

void Tfrmusr::btndelClick() {
  if (!selected_) {
    Warn("Error4", QStringLiteral("请选择要删除的用户."));
    return;
  }
  const QString name = ui_->edtuser->text();
  if (!Confirm(GetLangString(kSection, "Error3", QStringLiteral("确认删除？")) + name)) return;
  try {
    DeleteUser(name);
  } catch (const DbError& e) {
    ShowDbError(e);
  }
  RefreshUserList();
}

void Tfrmusr::btnupdateClick() {
  if (!selected_) {
    Warn("Error4", QStringLiteral("请选择要修改的用户."));
    return;
  }
  if (!Confirm(GetLangString(kSection, "Confirm1", QStringLiteral("确认修改？")) + selectedName_))
    return;
  UserOpResult r = UserOpResult::Ok;
  try {
    r = UpdateUser(ui_->edtuser->text(), ui_->edtpass->text(), selectedName_);
  } catch (const DbError& e) {
    ShowDbError(e);
    return;
  }
  // A vanished user (NotFound) also gets a fresh list.
  if (Report(r) || r == UserOpResult::NotFound) RefreshUserList();
}

void Tfrmusr::btnexitClick() { close(); }
