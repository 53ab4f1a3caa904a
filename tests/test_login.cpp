#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <memory>

#include "data/lanchg.h"
#include "support/files.h"
#include "users/Utdboper.h"
#include "users/udmData.h"
#include "users/usermsg.h"
#include "users/utLogin.h"
#include "users/utuser.h"

namespace {

struct Box {
  MsgKind kind;
  QString text;
};

// A program folder with its own user database; message boxes are recorded and
// answered instead of shown.
class LoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dm = std::make_unique<TdmData>();
    dm->OpenDatabase();
    GetDbOper()->InitQueries(*dm);
    SetUserMessageHandler([this](MsgKind kind, const QString& text) {
      boxes.push_back({kind, text});
      return answer;
    });
  }
  void TearDown() override {
    SetUserMessageHandler({});
    dm.reset();
  }
  template <class T>
  static T* Child(QWidget* form, const char* name) {
    T* w = form->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString LastBox() const { return boxes.empty() ? QString() : boxes.back().text; }

  ProgramFolder dir;
  std::unique_ptr<TdmData> dm;
  std::vector<Box> boxes;
  bool answer = true;
};

}  // namespace

TEST_F(LoginTest, LoginRules) {
  utDbOper& db = *GetDbOper();
  // An empty table lets an empty pair in (the first run needs no set-up), on any try.
  EXPECT_EQ(EvaluateLogin(db, "", "", 9), LoginOutcome::Accepted);
  EXPECT_EQ(EvaluateLogin(db, "a", "", 1), LoginOutcome::Refused);
  EXPECT_EQ(EvaluateLogin(db, "' or ''='", "' or ''='", 4), LoginOutcome::TooManyTries);
  ASSERT_EQ(db.AddUser("bob", "pw"), UserOpResult::Ok);
  EXPECT_EQ(EvaluateLogin(db, "BOB", "pw", 2), LoginOutcome::Accepted);
  EXPECT_EQ(EvaluateLogin(db, "bob", "bad", 50), LoginOutcome::Refused);
  EXPECT_EQ(EvaluateLogin(db, "", "", 1), LoginOutcome::Refused);
  EXPECT_EQ(EvaluateLogin(db, "bob' --", "", 1), LoginOutcome::Refused);
}

TEST_F(LoginTest, EnterInAnEditMovesTheFocusAndDoesNotLogIn) {
  TfrmLogin dlg;
  dlg.show();
  auto* btnLogin = Child<QPushButton>(&dlg, "btnLogin");
  for (const char* edit : {"edName", "edPass"}) {
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
      auto* ed = Child<QLineEdit>(&dlg, edit);
      ed->setFocus();
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier), release(QEvent::KeyRelease, key, Qt::NoModifier);
      QApplication::sendEvent(ed, &press);
      QApplication::sendEvent(ed, &release);
      EXPECT_EQ(dlg.focusWidget(), btnLogin) << edit;
      EXPECT_TRUE(dlg.isVisible()) << edit;  // an empty name and password would log in on an empty table
    }
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LoginTest, FourthWrongTryOnAnEmptyTableEndsTheLogin) {
  TfrmLogin dlg;
  QTimer::singleShot(0, &dlg, [&] {
    Child<QLineEdit>(&dlg, "edName")->setText("guest");
    for (int i = 0; i < 4 && dlg.isVisible(); ++i) Child<QPushButton>(&dlg, "btnLogin")->click();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.result(), TfrmLogin::kAborted);
  ASSERT_EQ(boxes.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(boxes[i].text, "密码错误,请确认是否存在.");
  EXPECT_EQ(boxes[3].text, "错误超过三次,系统退出.");
  for (const Box& b : boxes) EXPECT_EQ(b.kind, MsgKind::Error);
}

TEST_F(LoginTest, AdministrationAddsChangesAndDeletes) {
  Tfrmusr dlg;
  dlg.show();
  auto* user = Child<QLineEdit>(&dlg, "edtuser");
  auto* pass = Child<QLineEdit>(&dlg, "edtpass");
  auto* lv1 = Child<QTableWidget>(&dlg, "lv1");
  auto click = [&](const char* name) { Child<QPushButton>(&dlg, name)->click(); };
  for (auto [n, p] : {std::pair{"a-b", "one"}, {"a", ""}, {"x' or 'a'='a", "three"}}) {
    user->setText(n);
    pass->setText(p);
    click("btnadd");
  }
  ASSERT_TRUE(boxes.empty());
  ASSERT_EQ(lv1->rowCount(), 3);
  EXPECT_EQ(lv1->item(2, 1)->text(), "x' or 'a'='a");
  EXPECT_EQ(user->maxLength(), kUserFieldWidth);  // the edits take no more than the column holds

  // A name with "-" selects itself, with its password; it may not take another's name.
  lv1->selectRow(0);
  EXPECT_EQ(user->text(), "a-b");
  EXPECT_EQ(pass->text(), "one");
  user->setText("A");
  click("btnupdate");
  EXPECT_EQ(LastBox(), "已经存在此用户.");
  EXPECT_TRUE(GetDbOper()->CheckLogin("a-b", "one"));

  // Change: the selected user gets the edits' name and password.
  user->setText("carol");
  pass->setText("new");
  click("btnupdate");
  EXPECT_EQ(boxes.back().kind, MsgKind::Confirmation);
  EXPECT_TRUE(GetDbOper()->CheckLogin("carol", "new"));
  EXPECT_EQ(GetDbOper()->CountUsersNamed("a-b"), 0);
  EXPECT_EQ(lv1->item(0, 1)->text(), "carol");

  // Delete, confirmed with No and then with Yes; the rows are numbered anew.
  lv1->selectRow(1);
  answer = false;
  click("btndel");
  EXPECT_EQ(GetDbOper()->CountUsers(), 3);
  EXPECT_EQ(LastBox(), "确认删除？a");
  answer = true;
  click("btndel");
  EXPECT_EQ(GetDbOper()->CountUsersNamed("a"), 0);
  ASSERT_EQ(lv1->rowCount(), 2);
  EXPECT_EQ(lv1->item(1, 0)->text(), "2");
}

TEST_F(LoginTest, DialogsTranslateFromTheChosenLanguageFile) {
  ASSERT_TRUE(QFile::copy(QString::fromStdString(SourceFile("lang/langeng.ini")),
                          QString::fromStdString(dir.file("langeng.ini"))));
  WriteBytes(dir.file("system.par"), "[par]\r\nLANGESELECT=1\r\n");
  TfrmLogin login;
  login.show();
  EXPECT_EQ(login.windowTitle(), "User login");
  Tfrmusr users;
  users.show();
  EXPECT_EQ(Child<QTableWidget>(&users, "lv1")->horizontalHeaderItem(1)->text(), "User name");
  GetLanchg()->SetLangFile("");
}
