#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <memory>

#include "support/files.h"
#include "users/Utdboper.h"
#include "users/udmData.h"

namespace {

class UserDb : public ::testing::Test {
 protected:
  void SetUp() override {
    dm = std::make_unique<TdmData>();
    dm->OpenDatabase();
    db.InitQueries(*dm);
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

  ProgramFolder dir;
  std::unique_ptr<TdmData> dm;
  utDbOper db;
};

}  // namespace

TEST_F(UserDb, FileAndTableAreCreatedOnceAndKeptEvenUnderALongPath) {
  EXPECT_TRUE(QFile::exists(DbFile()));
  EXPECT_TRUE(dm->TableExists("TUSER"));
  ASSERT_EQ(db.AddUser("bob", "pw"), UserOpResult::Ok);
  TdmData().OpenDatabase();  // again, as the login dialog does when shown
  EXPECT_EQ(db.CountUsers(), 1);

  // Far beyond the 256 bytes a fixed buffer would hold; the database engine itself
  // takes paths up to 512 bytes.
  std::string deep = dir.path();
  while (deep.size() < 400) deep += std::string(60, 'd') + "/";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(deep)));
  SetProgramDir(deep);
  TdmData().OpenDatabase();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(deep + "kqz-tt.qmdkqz")));
}

TEST_F(UserDb, ListReadsEveryRowInOrderWithEmptyAndNullFields) {
  ASSERT_EQ(db.AddUser("a", ""), UserOpResult::Ok);
  ASSERT_EQ(db.AddUser("b", "pw"), UserOpResult::Ok);
  RawInsert("d", QVariant());
  RawInsert(QVariant(), "e");
  const std::vector<UserRow> rows = db.ListUsers();
  ASSERT_EQ(rows.size(), 4u);
  const char* expected[][2] = {{"a", ""}, {"b", "pw"}, {"d", ""}, {"", "e"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].name, expected[i][0]) << i;
    EXPECT_EQ(rows[i].password, expected[i][1]) << i;
    EXPECT_FALSE(rows[i].password.isNull()) << i;
  }
  EXPECT_EQ(db.CountUsers(), 4);
  EXPECT_TRUE(db.CheckLogin("d", ""));  // a NULL password matches an empty one
}

TEST_F(UserDb, QuotesDashesAndInjectionTextsAreOnlyText) {
  for (const QString n : {"o'brien", "a-b", "-"}) ASSERT_EQ(db.AddUser(n, n + "!"), UserOpResult::Ok);
  EXPECT_TRUE(db.CheckLogin("o'brien", "o'brien!"));
  EXPECT_EQ(db.DeleteUser("a-b"), 1);
  EXPECT_EQ(db.CountUsersNamed("-"), 1);
  // One injection text per kind of statement: each is only a name that matches nobody.
  const QString injection = "x' or 'a'='a";
  EXPECT_FALSE(db.CheckLogin("' or ''='", "' or ''='"));
  EXPECT_EQ(db.CountUsersNamed(injection), 0);
  EXPECT_EQ(db.DeleteUser(injection), 0);
  EXPECT_EQ(db.UpdateUser("mallory", "pw", injection), UserOpResult::NotFound);
  EXPECT_EQ(db.CountUsers(), 2);
}

TEST_F(UserDb, ValuesLongerThanTheColumnAreRefusedNotCut) {
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

TEST_F(UserDb, NamesMatchWithoutCaseAndNeverTwice) {
  ASSERT_EQ(db.AddUser("alice", "Pw"), UserOpResult::Ok);
  ASSERT_EQ(db.AddUser("bob", "b"), UserOpResult::Ok);
  EXPECT_EQ(db.AddUser("ALICE", "x"), UserOpResult::DuplicateName);
  EXPECT_TRUE(db.CheckLogin("Alice", "Pw"));
  EXPECT_FALSE(db.CheckLogin("alice", "pw"));
  EXPECT_EQ(db.UpdateUser("BOB", "x", "alice"), UserOpResult::DuplicateName);
  // Changing one's own name's case is no clash.
  EXPECT_EQ(db.UpdateUser("Alice", "new", "alice"), UserOpResult::Ok);
  const std::vector<UserRow> rows = db.ListUsers();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].name, "Alice");
}

TEST(UserDbOper, WithoutAnOpenDatabaseEveryOperationFails) {
  // Taking a missing database for an empty table would let anyone log in.
  utDbOper unbound;
  EXPECT_THROW(unbound.CountUsers(), DbError);
  EXPECT_THROW(unbound.CheckLogin("a", "b"), DbError);
}
