#include "users/udmData.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

#include "platform/appdir.h"
#include "platform/safefile.h"

namespace {

const char* const kCreateUserTable =
    "create table tUser (id integer primary key autoincrement, "
    "fusrname varchar(21), fpassword varchar(21))";

std::atomic<int> g_connectionSerial{0};

[[noreturn]] void Fail(const QString& what, const QSqlError& err) {
  throw DbError((what + ": " + err.text()).toStdString());
}

}  // namespace

TdmData::TdmData(QObject* owner)
    : QObject(owner), connName_(QStringLiteral("quno-users-%1").arg(++g_connectionSerial)) {
  QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connName_);
}

TdmData::~TdmData() {
  {
    QSqlDatabase db = QSqlDatabase::database(connName_, false);
    db.close();
  }
  QSqlDatabase::removeDatabase(connName_);
}

void TdmData::SetOpenMode(int mode) { openMode_ = mode; }

QString TdmData::DatabasePath() {
  return QString::fromStdString(ProgramDir()) + QString::fromUtf8(kUserDbFileName);
}

void TdmData::OpenDatabase(const std::string& /*name*/) {
  ConnectDb(DatabasePath(), QString(), QStringLiteral("2000"));
}

void TdmData::ConnectDb(const QString& path, const QString& /*password*/,
                        const QString& /*version*/) {
  QSqlDatabase db = QSqlDatabase::database(connName_, false);
  if (!db.isValid()) throw DbError("The database driver QSQLITE is not available.");
  db.close();
  // The engine would wait for ever on a FIFO (or read a device): only a regular file,
  // or none yet, is handed to it.
  const FileTarget target = ResolveTarget(path.toStdString());
  if (target.kind != TargetKind::Missing && target.kind != TargetKind::Regular)
    throw DbError((QStringLiteral("Cannot open ") + path + QStringLiteral(": not a regular file")).toStdString());
  db.setDatabaseName(path);
  if (!db.open()) Fail(QStringLiteral("Cannot open ") + path, db.lastError());
  EnsureUserTable();
}

bool TdmData::TableExists(const QString& table) const {
  QSqlDatabase db = QSqlDatabase::database(connName_, false);
  // tables() hides errors; ask the catalogue so that a file that is not a
  // database is reported instead of being taken for an empty one.
  QSqlQuery q(db);
  if (!q.prepare(QStringLiteral(
          "select count(*) from sqlite_master where type = 'table' and name = ? collate nocase")))
    Fail(QStringLiteral("Cannot read the tables of ") + db.databaseName(), q.lastError());
  q.addBindValue(table);
  if (!q.exec() || !q.next())
    Fail(QStringLiteral("Cannot read the tables of ") + db.databaseName(), q.lastError());
  return q.value(0).toInt() > 0;
}

void TdmData::ExecIfTableMissing(const QString& table, const QString& statement) {
  if (TableExists(table)) return;
  QSqlQuery q(QSqlDatabase::database(connName_, false));
  if (!q.exec(statement)) Fail(QStringLiteral("Cannot create the table ") + table, q.lastError());
}

bool TdmData::EnsureUserTable() {
  ExecIfTableMissing(QStringLiteral("tUser"), QString::fromUtf8(kCreateUserTable));
  return true;
}
