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
#include "platform/appdir.h"
#include "support/tempdir.h"
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
    SetProgramDir(dir.path());
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
    SetProgramDir("");
  }
  template <class T>
  static T* Child(QWidget* form, const char* name) {
    T* w = form->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static void PressKey(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
  }

  TempDir dir;
  std::unique_ptr<TdmData> dm;
  std::vector<Box> boxes;
  bool answer = true;
};

}  // namespace

TEST_F(LoginTest, LoginRules) {
  utDbOper& db = *GetDbOper();
  struct Try {
    const char* name;
    const char* password;
    int attempt;
    LoginOutcome expected;
  };
  const Try emptyTable[] = {
      {"", "", 1, LoginOutcome::Accepted},        {"", "", 9, LoginOutcome::Accepted},
      {"a", "", 1, LoginOutcome::Refused},        {"", "x", 3, LoginOutcome::Refused},
      {"a", "b", 4, LoginOutcome::TooManyTries},  {"' or ''='", "' or ''='", 4, LoginOutcome::TooManyTries},
  };
  for (const Try& t : emptyTable) {
    SCOPED_TRACE(std::string(t.name) + "/" + t.password + "/" + std::to_string(t.attempt));
    EXPECT_EQ(EvaluateLogin(db, t.name, t.password, t.attempt), t.expected);
  }
  ASSERT_EQ(db.AddUser("bob", "pw"), UserOpResult::Ok);
  const Try withUser[] = {
      {"bob", "pw", 1, LoginOutcome::Accepted},   {"BOB", "pw", 2, LoginOutcome::Accepted},
      {"bob", "PW", 1, LoginOutcome::Refused},    {"bob", "bad", 50, LoginOutcome::Refused},
      {"", "", 1, LoginOutcome::Refused},         {"' or ''='", "' or ''='", 1, LoginOutcome::Refused},
      {"bob' --", "", 1, LoginOutcome::Refused},
  };
  for (const Try& t : withUser) {
    SCOPED_TRACE(std::string(t.name) + "/" + t.password + "/" + std::to_string(t.attempt));
    EXPECT_EQ(EvaluateLogin(db, t.name, t.password, t.attempt), t.expected);
  }
}

TEST_F(LoginTest, EnterInAnEditMovesTheFocusAndDoesNotLogIn) {
  TfrmLogin dlg;
  dlg.show();
  auto* btnLogin = Child<QPushButton>(&dlg, "btnLogin");
  for (const char* edit : {"edName", "edPass"}) {
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
      auto* ed = Child<QLineEdit>(&dlg, edit);
      ed->setFocus();
      PressKey(ed, key);
      EXPECT_EQ(dlg.focusWidget(), btnLogin) << edit;
      // An empty name and password would log in on an empty table.
      EXPECT_TRUE(dlg.isVisible()) << edit;
    }
  }
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(Child<QLineEdit>(&dlg, "edName")->maxLength(), kUserFieldWidth);
  EXPECT_EQ(Child<QLineEdit>(&dlg, "edPass")->maxLength(), kUserFieldWidth);
}

TEST_F(LoginTest, FirstRunLogsInWithNothingTyped) {
  TfrmLogin dlg;
  QTimer::singleShot(0, Child<QPushButton>(&dlg, "btnLogin"), &QPushButton::click);
  EXPECT_TRUE(dlg.Execute());
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

TEST_F(LoginTest, WithUsersOnlyTheRightPairLogsIn) {
  ASSERT_EQ(AddUser("bob", "pw"), UserOpResult::Ok);
  TfrmLogin dlg;
  QTimer::singleShot(0, &dlg, [&] {
    auto* name = Child<QLineEdit>(&dlg, "edName");
    auto* pass = Child<QLineEdit>(&dlg, "edPass");
    auto* login = Child<QPushButton>(&dlg, "btnLogin");
    const char* wrong[][2] = {{"", ""}, {"' or ''='", "' or ''='"}, {"bob", "x"},
                              {"bob", "x"}, {"bob", "x"}};
    for (auto& w : wrong) {
      name->setText(w[0]);
      pass->setText(w[1]);
      login->click();
    }
    EXPECT_TRUE(dlg.isVisible());  // no limit on tries once users exist
    EXPECT_EQ(dlg.focusWidget(), name);
    pass->setText("pw");
    name->setText("bob");
    login->click();
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(boxes.size(), 5u);
}

TEST_F(LoginTest, CancelAndAdministrationFromTheLogin) {
  TfrmLogin dlg;
  QString opened;
  QTimer::singleShot(0, &dlg, [&] {
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr);
      opened = modal->objectName();
      modal->close();
    });
    Child<QPushButton>(&dlg, "btn1")->click();  // returns when the nested dialog closed
    Child<QPushButton>(&dlg, "btn2")->click();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(opened, "frmusr");
}

TEST_F(LoginTest, AdministrationAddsChangesAndDeletes) {
  Tfrmusr dlg;
  dlg.show();
  auto* user = Child<QLineEdit>(&dlg, "edtuser");
  auto* pass = Child<QLineEdit>(&dlg, "edtpass");
  auto* lv1 = Child<QTableWidget>(&dlg, "lv1");
  auto* add = Child<QPushButton>(&dlg, "btnadd");
  auto add_user = [&](const QString& n, const QString& p) {
    user->setText(n);
    pass->setText(p);
    add->click();
  };
  EXPECT_EQ(lv1->rowCount(), 0);
  add_user("a-b", "one");
  add_user("a", "");
  add_user("x' or 'a'='a", "three");
  ASSERT_TRUE(boxes.empty());
  ASSERT_EQ(lv1->rowCount(), 3);
  EXPECT_EQ(lv1->item(2, 0)->text(), "3");
  EXPECT_EQ(lv1->item(2, 1)->text(), "x' or 'a'='a");

  // A name with "-" selects itself, with its password.
  lv1->selectRow(0);
  EXPECT_EQ(user->text(), "a-b");
  EXPECT_EQ(pass->text(), "one");

  // Change: the selected user gets the edits' name and password.
  user->setText("carol");
  pass->setText("new");
  Child<QPushButton>(&dlg, "btnupdate")->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, MsgKind::Confirmation);
  EXPECT_TRUE(GetDbOper()->CheckLogin("carol", "new"));
  EXPECT_EQ(GetDbOper()->CountUsersNamed("a-b"), 0);
  EXPECT_EQ(lv1->item(0, 1)->text(), "carol");

  // Delete, confirmed with No and then with Yes; the rows are numbered anew.
  lv1->selectRow(1);
  answer = false;
  Child<QPushButton>(&dlg, "btndel")->click();
  EXPECT_EQ(GetDbOper()->CountUsers(), 3);
  EXPECT_EQ(boxes.back().text, "确认删除？a");
  answer = true;
  Child<QPushButton>(&dlg, "btndel")->click();
  EXPECT_EQ(GetDbOper()->CountUsersNamed("a"), 0);
  ASSERT_EQ(lv1->rowCount(), 2);
  EXPECT_EQ(lv1->item(1, 0)->text(), "2");
  EXPECT_EQ(lv1->item(1, 1)->text(), "x' or 'a'='a");
}

TEST_F(LoginTest, AdministrationRefusals) {
  ASSERT_EQ(AddUser("alice", "a"), UserOpResult::Ok);
  ASSERT_EQ(AddUser("bob", "b"), UserOpResult::Ok);
  Tfrmusr dlg;
  dlg.show();
  auto* user = Child<QLineEdit>(&dlg, "edtuser");
  auto* pass = Child<QLineEdit>(&dlg, "edtpass");
  auto* lv1 = Child<QTableWidget>(&dlg, "lv1");
  auto click = [&](const char* name) { Child<QPushButton>(&dlg, name)->click(); };
  auto lastBox = [&] { return boxes.empty() ? QString() : boxes.back().text; };

  click("btndel");
  EXPECT_EQ(lastBox(), "请选择要删除的用户.");
  click("btnupdate");
  EXPECT_EQ(lastBox(), "请选择要修改的用户.");
  user->clear();
  click("btnadd");
  EXPECT_EQ(lastBox(), "用户名不能为空.");
  user->setText("ALICE");
  click("btnadd");
  EXPECT_EQ(lastBox(), "已经存在此用户.");
  EXPECT_TRUE(user->text().isEmpty());
  // The edits take no more than the column holds.
  EXPECT_EQ(user->maxLength(), kUserFieldWidth);
  EXPECT_EQ(pass->maxLength(), kUserFieldWidth);

  lv1->selectRow(1);  // bob
  user->setText("Alice");
  click("btnupdate");
  EXPECT_EQ(lastBox(), "已经存在此用户.");
  EXPECT_TRUE(GetDbOper()->CheckLogin("bob", "b"));
  for (const Box& b : boxes) EXPECT_NE(b.kind, MsgKind::Error);
  EXPECT_EQ(GetDbOper()->CountUsers(), 2);
}

TEST_F(LoginTest, DialogsTranslateFromTheChosenLanguageFile) {
  const QString source = qEnvironmentVariable("QUNO_SOURCE_DIR");
  ASSERT_FALSE(source.isEmpty());
  for (const char* f : {"langchs.ini", "langeng.ini"})
    ASSERT_TRUE(QFile::copy(source + "/lang/" + f, QString::fromStdString(dir.file(f))));
  const struct {
    const char* select;
    const char* file;  // the language file chosen, "" for none
    const char* caption;
    const char* login;
    const char* column;
  } cases[] = {{"0", "langchs.ini", "用户登录", "登录", "用户名"},
               {"1", "langeng.ini", "User login", "Login", "User name"},
               {"2", "", "用户登录", "登录", "用户名"}};  // no file: the built-in texts
  for (const auto& c : cases) {
    SCOPED_TRACE(c.select);
    QFile par(QString::fromStdString(dir.file("system.par")));
    ASSERT_TRUE(par.open(QIODevice::WriteOnly | QIODevice::Truncate));
    par.write(QByteArray("[par]\r\nLANGESELECT=") + c.select + "\r\n");
    par.close();
    TfrmLogin login;
    EXPECT_EQ(GetLanchg()->LangFile(), *c.file ? dir.file(c.file) : "");
    login.show();
    EXPECT_EQ(login.windowTitle(), c.caption);
    EXPECT_EQ(Child<QPushButton>(&login, "btnLogin")->text(), c.login);
    Tfrmusr users;
    users.show();
    EXPECT_EQ(Child<QTableWidget>(&users, "lv1")->horizontalHeaderItem(1)->text(), c.column);
  }
  GetLanchg()->SetLangFile("");
}
