// The user database and the login and user dialogs over it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTimer>
#include <memory>

#include "data/lanchg.h"
#include "support/fifoguard.h"
#include "support/files.h"
#include "users/Utdboper.h"
#include "users/udmData.h"
#include "users/usermsg.h"
#include "users/utLogin.h"
#include "users/utuser.h"

namespace {

struct Box { MsgKind kind; QString text; };

// A program folder with its own user database; message boxes recorded and answered, not shown.
class Users : public ::testing::Test {
 protected:
  void SetUp() override {
    dm = std::make_unique<TdmData>();
    dm->OpenDatabase();
    db.InitQueries(*dm);
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
  // Writes a row past the layer, as another tool or an old version could have.
  void RawInsert(const QVariant& name, const QVariant& password) {
    QSqlQuery q(QSqlDatabase::database(dm->ConnectionName()));
    ASSERT_TRUE(q.prepare("insert into tUser (fusrname, fpassword) values (?, ?)"));
    q.addBindValue(name);
    q.addBindValue(password);
    ASSERT_TRUE(q.exec());
  }

  ProgramFolder dir;
  std::unique_ptr<TdmData> dm;
  utDbOper& db = *GetDbOper();
  std::vector<Box> boxes;
  bool answer = true;
};

}  // namespace

TEST_F(Users, LoginRules) {
  // An empty table lets an empty pair in (the first run needs no set-up), on any try.
  EXPECT_EQ(EvaluateLogin(db, "", "", 9), LoginOutcome::Accepted);  // refused pairs, the fourth try: the dialog test
  ASSERT_EQ(db.AddUser("bob", "pw"), UserOpResult::Ok);
  EXPECT_EQ(EvaluateLogin(db, "BOB", "pw", 2), LoginOutcome::Accepted);
  EXPECT_EQ(EvaluateLogin(db, "bob", "bad", 50), LoginOutcome::Refused);
  EXPECT_EQ(EvaluateLogin(db, "", "", 1), LoginOutcome::Refused);
}

TEST_F(Users, EnterInAnEditMovesTheFocusAndDoesNotLogIn) {
  TfrmLogin dlg;
  dlg.show();
  auto* btnLogin = Child<QPushButton>(&dlg, "btnLogin");
  for (const char* edit : {"edName", "edPass"})
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
      auto* ed = Child<QLineEdit>(&dlg, edit);
      ed->setFocus();
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier), release(QEvent::KeyRelease, key, Qt::NoModifier);
      QApplication::sendEvent(ed, &press);
      QApplication::sendEvent(ed, &release);
      EXPECT_EQ(dlg.focusWidget(), btnLogin) << edit;
      EXPECT_TRUE(dlg.isVisible()) << edit;  // an empty name and password would log in on an empty table
    }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Users, FourthWrongTryOnAnEmptyTableEndsTheLogin) {
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

TEST_F(Users, AdministrationAddsChangesAndDeletes) {
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
  EXPECT_TRUE(db.CheckLogin("a-b", "one"));

  user->setText("carol");
  pass->setText("new");
  click("btnupdate");
  EXPECT_EQ(boxes.back().kind, MsgKind::Confirmation);
  EXPECT_TRUE(db.CheckLogin("carol", "new"));
  EXPECT_EQ(db.CountUsersNamed("a-b"), 0);
  EXPECT_EQ(lv1->item(0, 1)->text(), "carol");

  // Delete, confirmed with No and then with Yes; the rows are numbered anew.
  lv1->selectRow(1);
  answer = false;
  click("btndel");
  EXPECT_EQ(db.CountUsers(), 3);
  EXPECT_EQ(LastBox(), "确认删除？a");
  answer = true;
  click("btndel");
  EXPECT_EQ(db.CountUsersNamed("a"), 0);
  ASSERT_EQ(lv1->rowCount(), 2);
  EXPECT_EQ(lv1->item(1, 0)->text(), "2");
}

TEST_F(Users, DialogsTranslateFromTheChosenLanguageFile) {
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

TEST_F(Users, FileAndTableAreCreatedOnceAndKeptEvenUnderALongPath) {
  EXPECT_TRUE(QFile::exists(QString::fromStdString(dir.file("kqz-tt.qmdkqz"))));
  EXPECT_TRUE(dm->TableExists("TUSER"));
  ASSERT_EQ(db.AddUser("bob", "pw"), UserOpResult::Ok);
  TdmData().OpenDatabase();  // again, as the login dialog does when shown
  EXPECT_EQ(db.CountUsers(), 1);

  // Far beyond a fixed 256-byte buffer; the database engine itself takes paths up to 512 bytes.
  std::string deep = dir.path();
  while (deep.size() < 400) deep += std::string(60, 'd') + "/";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(deep)));
  SetProgramDir(deep);
  TdmData().OpenDatabase();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(deep + "kqz-tt.qmdkqz")));
}

TEST_F(Users, ListReadsEveryRowInOrderWithEmptyAndNullFields) {
  ASSERT_EQ(db.AddUser("a", ""), UserOpResult::Ok);
  ASSERT_EQ(db.AddUser("b", "pw"), UserOpResult::Ok);
  RawInsert("d", QVariant());
  RawInsert(QVariant(), "e");
  std::vector<std::pair<QString, QString>> rows;
  for (const UserRow& r : db.ListUsers()) {
    rows.emplace_back(r.name, r.password);
    EXPECT_FALSE(r.password.isNull());
  }
  EXPECT_EQ(rows, (std::vector<std::pair<QString, QString>>{{"a", ""}, {"b", "pw"}, {"d", ""}, {"", "e"}}));
  EXPECT_EQ(db.CountUsers(), 4);
  EXPECT_TRUE(db.CheckLogin("d", ""));  // a NULL password matches an empty one
}

TEST_F(Users, NamesAreOnlyTextAndMatchWithoutCase) {
  for (const QString n : {"o'brien", "a-b", "-"}) ASSERT_EQ(db.AddUser(n, n + "!"), UserOpResult::Ok);
  EXPECT_TRUE(db.CheckLogin("o'brien", "o'brien!"));
  EXPECT_EQ(db.DeleteUser("a-b"), 1);
  EXPECT_EQ(db.CountUsersNamed("-"), 1);
  // An injection text in each kind of statement matches nobody.
  const QString injection = "x' or 'a'='a";
  EXPECT_FALSE(db.CheckLogin("' or ''='", "' or ''='"));
  EXPECT_EQ(db.CountUsersNamed(injection), 0);
  EXPECT_EQ(db.DeleteUser(injection), 0);
  EXPECT_EQ(db.UpdateUser("mallory", "pw", injection), UserOpResult::NotFound);
  EXPECT_EQ(db.CountUsers(), 2);

  // Names match without case and never twice; one's own name in another case is no clash.
  ASSERT_EQ(db.AddUser("alice", "Pw"), UserOpResult::Ok);
  EXPECT_EQ(db.AddUser("ALICE", "x"), UserOpResult::DuplicateName);
  EXPECT_TRUE(db.CheckLogin("Alice", "Pw"));
  EXPECT_FALSE(db.CheckLogin("alice", "pw"));
  EXPECT_EQ(db.UpdateUser("O'BRIEN", "x", "alice"), UserOpResult::DuplicateName);
  EXPECT_EQ(db.UpdateUser("Alice", "new", "alice"), UserOpResult::Ok);
  EXPECT_EQ(db.ListUsers().back().name, "Alice");
}

TEST_F(Users, ValuesLongerThanTheColumnAreRefusedNotCut) {
  const QString ok21(21, 'n'), long22(22, 'n'), chinese21(21, QChar(0x7528));
  struct Case { QString name, password; UserOpResult expected; } cases[] = {
      {ok21, ok21, UserOpResult::Ok},
      {chinese21, chinese21, UserOpResult::Ok},
      {long22, "pw", UserOpResult::NameTooLong},
      {"short", long22, UserOpResult::PasswordTooLong},
      {"", "pw", UserOpResult::EmptyName},
  };
  for (const Case& c : cases) EXPECT_EQ(db.AddUser(c.name, c.password), c.expected) << c.name.toStdString();
  EXPECT_EQ(db.CountUsers(), 2);
  EXPECT_EQ(db.UpdateUser(long22, "pw", ok21), UserOpResult::NameTooLong);
  EXPECT_EQ(db.UpdateUser(ok21, long22, ok21), UserOpResult::PasswordTooLong);
}

TEST(UserDbOper, WithoutAnOpenDatabaseEveryOperationFails) {
  // Taking a missing database for an empty table would let anyone log in.
  utDbOper unbound;
  EXPECT_THROW(unbound.CountUsers(), DbError);
  EXPECT_THROW(unbound.CheckLogin("a", "b"), DbError);
}

// A FIFO as the user database is one that cannot be opened (its message); nothing waits.
TEST(UserDatabase, AFifoIsRefusedAtOnce) {
  ProgramFolder dir;
  const std::string db = dir.file("kqz-tt.qmdkqz");
  ASSERT_TRUE(MakeFifo(db));
  TdmData dm;
  EXPECT_TRUE(DoesNotWaitOn(db, [&] {
    try {
      dm.OpenDatabase();
      ADD_FAILURE() << "a FIFO was opened as the user database";
    } catch (const DbError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot open " + db + ": not a regular file");
    }
  }));
}
