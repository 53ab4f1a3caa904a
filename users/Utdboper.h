#pragma once
// Operations on the user table "tUser". Every statement is fixed text with bound
// parameters: user input never becomes part of SQL. User names compare without
// regard to case, passwords exactly. Engine failures throw DbError.

#include <QString>
#include <vector>

#include "users/udmData.h"

struct UserRow {
  QString name;
  QString password;
};

enum class UserOpResult {
  Ok,
  EmptyName,
  NameTooLong,      // more than kUserFieldWidth characters
  PasswordTooLong,  // more than kUserFieldWidth characters
  DuplicateName,    // another user already has the name
  NotFound,         // no user of the old name (change)
};

class utDbOper {
 public:
  utDbOper() = default;
  virtual ~utDbOper() = default;

  // Binds the operations to the data module's connection.
  void InitQueries(const TdmData& data);
  void InitQueries(const QString& connectionName);

  int CountUsers();
  int CountUsersNamed(const QString& name);
  // True when one row has this name and exactly this password.
  bool CheckLogin(const QString& name, const QString& password);
  // In the order they were added; a NULL field reads as "".
  std::vector<UserRow> ListUsers();
  UserOpResult AddUser(const QString& name, const QString& password);
  // Removes every row of the name; returns how many.
  int DeleteUser(const QString& name);
  // Renames every row of oldName and sets its password.
  UserOpResult UpdateUser(const QString& newName, const QString& newPassword,
                          const QString& oldName);

 private:
  QString connName_;
};

utDbOper* GetDbOper();

// Checks a name and password for the table before anything is written.
UserOpResult ValidateUser(const QString& name, const QString& password);

// The operations of the singleton, for the dialogs.
UserOpResult AddUser(const QString& name, const QString& password);
int DeleteUser(const QString& name);
UserOpResult UpdateUser(const QString& newName, const QString& newPassword,
                        const QString& oldName);
