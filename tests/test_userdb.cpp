#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <memory>

#include "platform/appdir.h"
#include "support/tempdir.h"
#include "users/Utdboper.h"
#include "users/udmData.h"

namespace {

class UserDb : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir.path());
    dm = std::make_unique<TdmData>();
    dm->OpenDatabase();
    db.InitQueries(*dm);
  }
  void TearDown() override {
    dm.reset();
    SetProgramDir("");
  }
  QString DbFile() const { return QString::fromStdString(dir.file("kqz-tt.qmdkqz")); }
  // Writes a row past the layer, as another tool or an old version could have.
  void RawInsert(const QVariant& name, const QVariant& password) {
    QSqlQuery q(QSqlDatabase::database(dm->ConnectionName()));
    ASSERT_TRUE(q.prepare("insert into tUser (fusrname, fpassword) values (?, ?)"));
    q.addBindValue(name);
    q.addBindValue(password);
    ASSERT_TRUE(q.exec());
  }
  QStringList Names() {
    QStringList names;
    for (const UserRow& r : db.ListUsers()) names << r.name;
    return names;
  }

  TempDir dir;
  std::unique_ptr<TdmData> dm;
  utDbOper db;
};

}  // namespace

TEST_F(UserDb, FileAndTableAreCreatedOnceAndKept) {
  EXPECT_TRUE(QFile::exists(DbFile()));
  EXPECT_TRUE(dm->TableExists("tUser"));
  EXPECT_TRUE(dm->TableExists("TUSER"));
  EXPECT_EQ(db.CountUsers(), 0);
  ASSERT_EQ(db.AddUser("bob", "pw"), UserOpResult::Ok);
  // Opening again, as the login dialog does when shown, changes nothing.
  dm->OpenDatabase();
  TdmData other;
  other.OpenDatabase();
  EXPECT_EQ(db.CountUsers(), 1);
}

TEST_F(UserDb, AFileThatIsNoDatabaseIsReportedAndLeftAlone) {
  dm.reset();
  const QByteArray junk(4096, 'x');
  {
    QFile f(DbFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(junk);
  }
  TdmData broken;
  EXPECT_THROW(broken.OpenDatabase(), DbError);
  QFile f(DbFile());
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), junk);
}

TEST_F(UserDb, ALongProgramPathStillFindsItsDatabase) {
  // Far beyond the 256 bytes a fixed buffer would hold; the database engine itself
  // takes paths up to 512 bytes.
  std::string deep = dir.path();
  while (deep.size() < 400) deep += std::string(60, 'd') + "/";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(deep)));
  SetProgramDir(deep);
  TdmData far;
  far.OpenDatabase();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(deep + "kqz-tt.qmdkqz")));
}

TEST_F(UserDb, ListReadsEveryRowInOrderWithEmptyAndNullFields) {
  ASSERT_EQ(db.AddUser("a", ""), UserOpResult::Ok);
  ASSERT_EQ(db.AddUser("b", "pw"), UserOpResult::Ok);
  ASSERT_EQ(db.AddUser("c", QString()), UserOpResult::Ok);
  RawInsert("d", QVariant());
  RawInsert(QVariant(), "e");
  const std::vector<UserRow> rows = db.ListUsers();
  ASSERT_EQ(rows.size(), 5u);
  const char* expected[][2] = {{"a", ""}, {"b", "pw"}, {"c", ""}, {"d", ""}, {"", "e"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].name, expected[i][0]) << i;
    EXPECT_EQ(rows[i].password, expected[i][1]) << i;
    EXPECT_FALSE(rows[i].password.isNull()) << i;
  }
  EXPECT_EQ(db.CountUsers(), 5);
  EXPECT_TRUE(db.CheckLogin("d", ""));  // a NULL password matches an empty one
}

TEST_F(UserDb, AwkwardNamesAreStoredAndFoundAsTyped) {
  const QString names[] = {"o'brien", "a-b", "-", "x' or 'a'='a", "' or ''='",
                           "a;drop table tUser--", "\"quoted\"", "名字-带-横", "%_*"};
  for (const QString& n : names) ASSERT_EQ(db.AddUser(n, n + "!"), UserOpResult::Ok) << n.toStdString();
  EXPECT_EQ(db.CountUsers(), int(std::size(names)));
  for (const QString& n : names) {
    SCOPED_TRACE(n.toStdString());
    EXPECT_EQ(db.CountUsersNamed(n), 1);
    EXPECT_TRUE(db.CheckLogin(n, n + "!"));
    EXPECT_FALSE(db.CheckLogin(n, n));
  }
  EXPECT_EQ(db.DeleteUser("a-b"), 1);
  EXPECT_EQ(db.CountUsers(), int(std::size(names)) - 1);
  EXPECT_EQ(db.CountUsersNamed("-"), 1);
}

TEST_F(UserDb, InjectionTextsChangeNothing) {
  ASSERT_EQ(db.AddUser("alice", "secret"), UserOpResult::Ok);
  ASSERT_EQ(db.AddUser("bob", "hunter2"), UserOpResult::Ok);
  const QString attacks[] = {"x' or 'a'='a", "' or ''='", "' or 1=1 --", "alice' --"};
  for (const QString& a : attacks) {
    SCOPED_TRACE(a.toStdString());
    EXPECT_FALSE(db.CheckLogin(a, a));
    EXPECT_FALSE(db.CheckLogin("alice", a));
    EXPECT_EQ(db.CountUsersNamed(a), 0);
    EXPECT_EQ(db.DeleteUser(a), 0);
    EXPECT_EQ(db.UpdateUser("mallory", "pw", a), UserOpResult::NotFound);
  }
  EXPECT_EQ(Names(), QStringList({"alice", "bob"}));
  EXPECT_TRUE(db.CheckLogin("alice", "secret"));
  EXPECT_TRUE(db.CheckLogin("bob", "hunter2"));
}

TEST_F(UserDb, ValuesLongerThanTheColumnAreRefusedNotCut) {
  const QString ok21(21, 'n'), long22(22, 'n'), chinese21(21, QChar(0x7528));
  struct Case {
    QString name, password;
    UserOpResult expected;
  } cases[] = {
      {ok21, ok21, UserOpResult::Ok},
      {chinese21, chinese21, UserOpResult::Ok},
      {long22, "pw", UserOpResult::NameTooLong},
      {"short", long22, UserOpResult::PasswordTooLong},
      {"", "pw", UserOpResult::EmptyName},
  };
  int rows = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    EXPECT_EQ(db.AddUser(c.name, c.password), c.expected);
    if (c.expected == UserOpResult::Ok) ++rows;
    EXPECT_EQ(db.CountUsers(), rows);
  }
  EXPECT_EQ(db.UpdateUser(long22, "pw", ok21), UserOpResult::NameTooLong);
  EXPECT_EQ(db.UpdateUser(ok21, long22, ok21), UserOpResult::PasswordTooLong);
  EXPECT_EQ(db.UpdateUser("", "pw", ok21), UserOpResult::EmptyName);
  EXPECT_TRUE(db.CheckLogin(ok21, ok21));
}

TEST_F(UserDb, NamesMatchWithoutCasePasswordsExactly) {
  ASSERT_EQ(db.AddUser("Bob", "Pw"), UserOpResult::Ok);
  EXPECT_EQ(db.AddUser("bob", "x"), UserOpResult::DuplicateName);
  EXPECT_EQ(db.CountUsers(), 1);
  EXPECT_TRUE(db.CheckLogin("BOB", "Pw"));
  EXPECT_FALSE(db.CheckLogin("bob", "pw"));
  EXPECT_FALSE(db.CheckLogin("bob", "Pw "));
}

TEST_F(UserDb, ChangeRenamesAndRefusesAClash) {
  ASSERT_EQ(db.AddUser("alice", "a"), UserOpResult::Ok);
  ASSERT_EQ(db.AddUser("bob", "b"), UserOpResult::Ok);
  EXPECT_EQ(db.UpdateUser("BOB", "x", "alice"), UserOpResult::DuplicateName);
  EXPECT_EQ(Names(), QStringList({"alice", "bob"}));
  // Changing one's own name's case or only the password is no clash.
  EXPECT_EQ(db.UpdateUser("Alice", "new", "alice"), UserOpResult::Ok);
  EXPECT_EQ(db.UpdateUser("carol", "c", "ALICE"), UserOpResult::Ok);
  EXPECT_EQ(Names(), QStringList({"carol", "bob"}));
  EXPECT_TRUE(db.CheckLogin("carol", "c"));
  EXPECT_EQ(db.UpdateUser("dave", "d", "nobody"), UserOpResult::NotFound);
}

TEST_F(UserDb, DeleteRemovesEveryRowOfTheName) {
  RawInsert("twin", "1");
  RawInsert("TWIN", "2");
  ASSERT_EQ(db.AddUser("other", ""), UserOpResult::Ok);
  EXPECT_EQ(db.DeleteUser("Twin"), 2);
  EXPECT_EQ(Names(), QStringList({"other"}));
}

TEST(UserDbOper, WithoutAnOpenDatabaseEveryOperationFails) {
  // Taking a missing database for an empty table would let anyone log in.
  utDbOper unbound;
  EXPECT_THROW(unbound.CountUsers(), DbError);
  TempDir dir;
  SetProgramDir(dir.path());
  utDbOper stale;
  {
    TdmData dm;
    dm.OpenDatabase();
    stale.InitQueries(dm);
    EXPECT_EQ(stale.CountUsers(), 0);
  }
  EXPECT_THROW(stale.CountUsers(), DbError);
  EXPECT_THROW(stale.ListUsers(), DbError);
  EXPECT_THROW(stale.AddUser("a", "b"), DbError);
  SetProgramDir("");
}
