#pragma once
// The data module: owns the connection to the user database, a SQLite file
// beside the executable, and creates the file and its table "tUser" when missing.

#include <QObject>
#include <QString>
#include <stdexcept>
#include <string>

// A failure of the database engine (file not a database, locked, unwritable ...).
// The operation is abandoned; the caller shows the text.
class DbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr const char* kUserDbFileName = "kqz-tt.qmdkqz";
constexpr int kUserFieldWidth = 21;  // characters of fusrname and fpassword

class TdmData : public QObject {
  Q_OBJECT
 public:
  explicit TdmData(QObject* owner = nullptr);
  ~TdmData() override;

  void SetOpenMode(int mode);
  // Connects to ProgramDir() + "kqz-tt.qmdkqz", creating the file and the table
  // when missing. The name is unused by the user database. Throws DbError.
  void OpenDatabase(const std::string& name = {});
  void ConnectDb(const QString& path, const QString& password, const QString& version);
  bool TableExists(const QString& table) const;
  void ExecIfTableMissing(const QString& table, const QString& statement);
  bool EnsureUserTable();

  // The name of this module's connection (the queries of utDbOper use it).
  const QString& ConnectionName() const { return connName_; }
  static QString DatabasePath();

 private:
  QString connName_;
  int openMode_ = 0;
};
