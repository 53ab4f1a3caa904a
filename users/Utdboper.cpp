#include "users/Utdboper.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <initializer_list>

namespace {

// A null QString binds as SQL NULL; the table keeps "" instead.
QString NotNull(const QString& s) { return s.isNull() ? QStringLiteral("") : s; }

QSqlQuery Run(const QString& connName, const char* sql, std::initializer_list<QString> args) {
  QSqlDatabase db = QSqlDatabase::database(connName, false);
  if (connName.isEmpty() || !db.isValid() || !db.isOpen())
    throw DbError("The user database is not open.");
  QSqlQuery q(db);
  q.setForwardOnly(true);
  if (!q.prepare(QString::fromUtf8(sql)))
    throw DbError(q.lastError().text().toStdString());
  for (const QString& a : args) q.addBindValue(NotNull(a));
  if (!q.exec()) throw DbError(q.lastError().text().toStdString());
  return q;
}

int CountOf(const QString& connName, const char* sql, std::initializer_list<QString> args) {
  QSqlQuery q = Run(connName, sql, args);
  if (!q.next()) throw DbError(q.lastError().text().toStdString());
  return q.value(0).toInt();
}

}  // namespace

void utDbOper::InitQueries(const TdmData& data) { connName_ = data.ConnectionName(); }
void utDbOper::InitQueries(const QString& connectionName) { connName_ = connectionName; }

int utDbOper::CountUsers() { return CountOf(connName_, "select count(*) from tUser", {}); }

int utDbOper::CountUsersNamed(const QString& name) {
  return CountOf(connName_, "select count(*) from tUser where fusrname = ? collate nocase", {name});
}

bool utDbOper::CheckLogin(const QString& name, const QString& password) {
  return CountOf(connName_,
                 "select count(*) from tUser where fusrname = ? collate nocase "
                 "and ifnull(fpassword, '') = ? collate binary",
                 {name, password}) > 0;
}

std::vector<UserRow> utDbOper::ListUsers() {
  QSqlQuery q = Run(connName_, "select fusrname, fpassword from tUser order by id", {});
  std::vector<UserRow> rows;
  while (q.next()) {
    // toString() of NULL is an empty string.
    rows.push_back({NotNull(q.value(0).toString()), NotNull(q.value(1).toString())});
  }
  if (q.lastError().isValid()) throw DbError(q.lastError().text().toStdString());
  return rows;
}

UserOpResult ValidateUser(const QString& name, const QString& password) {
  if (name.isEmpty()) return UserOpResult::EmptyName;
  if (name.size() > kUserFieldWidth) return UserOpResult::NameTooLong;
  if (password.size() > kUserFieldWidth) return UserOpResult::PasswordTooLong;
  return UserOpResult::Ok;
}

UserOpResult utDbOper::AddUser(const QString& name, const QString& password) {
  if (UserOpResult r = ValidateUser(name, password); r != UserOpResult::Ok) return r;
  if (CountUsersNamed(name) > 0) return UserOpResult::DuplicateName;
  Run(connName_, "insert into tUser (fusrname, fpassword) values (?, ?)", {name, password});
  return UserOpResult::Ok;
}

int utDbOper::DeleteUser(const QString& name) {
  QSqlQuery q = Run(connName_, "delete from tUser where fusrname = ? collate nocase", {name});
  return q.numRowsAffected();
}

UserOpResult utDbOper::UpdateUser(const QString& newName, const QString& newPassword,
                                  const QString& oldName) {
  if (UserOpResult r = ValidateUser(newName, newPassword); r != UserOpResult::Ok) return r;
  if (CountUsersNamed(oldName) == 0) return UserOpResult::NotFound;
  // Changing only the letter case of one's own name is not a clash.
  if (CountOf(connName_,
              "select count(*) from tUser where fusrname = ? collate nocase "
              "and fusrname <> ? collate nocase",
              {newName, oldName}) > 0)
    return UserOpResult::DuplicateName;
  Run(connName_, "update tUser set fusrname = ?, fpassword = ? where fusrname = ? collate nocase",
      {newName, newPassword, oldName});
  return UserOpResult::Ok;
}

utDbOper* GetDbOper() {
  static utDbOper* instance = new utDbOper();  // lives as long as the process
  return instance;
}

UserOpResult AddUser(const QString& name, const QString& password) {
  return GetDbOper()->AddUser(name, password);
}

int DeleteUser(const QString& name) { return GetDbOper()->DeleteUser(name); }

UserOpResult UpdateUser(const QString& newName, const QString& newPassword,
                        const QString& oldName) {
  return GetDbOper()->UpdateUser(newName, newPassword, oldName);
}
