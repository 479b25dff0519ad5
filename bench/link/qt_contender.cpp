#include "bench/link/qt_contender.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <stdexcept>

namespace link_bench {

namespace {

const char* const kConnectionName = "link_bench";

QSqlDatabase Database() {
  return QSqlDatabase::database(kConnectionName, false);
}

[[noreturn]] void Fail(const QSqlQuery& query, const std::string& what) {
  throw std::runtime_error(what + ": " + query.lastError().text().toStdString());
}

std::unique_ptr<QSqlQuery> Prepare(const char* sql) {
  auto query = std::make_unique<QSqlQuery>(Database());
  query->setForwardOnly(true);
  if (!query->prepare(QString::fromUtf8(sql))) Fail(*query, sql);
  return query;
}

}  // namespace

bool QtContender::Available() {
  return QSqlDatabase::isDriverAvailable("QPSQL");
}

QtContender::QtContender(const ServerAddress& address, int port) {
  QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", kConnectionName);
  db.setHostName(QString::fromStdString(address.host));
  db.setPort(port);
  db.setUserName(QString::fromStdString(address.user));
  db.setDatabaseName(QString::fromStdString(address.database));
  // libpq's options of the URI, as the other contenders take them.
  QString options = QString::fromStdString(address.options);
  db.setConnectOptions(options.replace('&', ';'));
  if (!db.open())
    throw std::runtime_error("QPSQL cannot open the database: " +
                             db.lastError().text().toStdString());
  seek_ = Prepare("SELECT rowid, id, name, amount, day, flag, code FROM walked WHERE code = ?");
  edit_ = Prepare("UPDATE walked SET name = ? WHERE rowid = ?");
  append_ = Prepare("INSERT INTO appended (id, name, amount, day) VALUES (?, ?, ?, ?)");
}

QtContender::~QtContender() {
  seek_.reset();
  edit_.reset();
  append_.reset();
  Database().close();
  QSqlDatabase::removeDatabase(kConnectionName);
}

int64_t QtContender::Walk() {
  QSqlQuery query(Database());
  query.setForwardOnly(true);
  if (!query.exec("SELECT id, name, amount, day, flag FROM walked ORDER BY rowid"))
    Fail(query, "walk");
  int64_t rows = 0;
  int64_t chars = 0;
  while (query.next()) {
    for (int f = 0; f < 5; ++f) chars += query.value(f).toString().size();
    ++rows;
  }
  if (query.lastError().isValid() || chars == 0) Fail(query, "walk");
  return rows;
}

void QtContender::Seek(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    seek_->bindValue(0, QString::fromStdString(key));
    if (!seek_->exec() || !seek_->next()) Fail(*seek_, "seek " + key);
    if (seek_->value(6).toString().isEmpty()) Fail(*seek_, "seek " + key);
  }
}

void QtContender::Edit(const std::vector<uint32_t>& records) {
  int edit = 0;
  for (uint32_t record : records) {
    edit_->bindValue(0, QString("edited %1").arg(++edit));
    edit_->bindValue(1, static_cast<qlonglong>(record));
    if (!edit_->exec() || edit_->numRowsAffected() != 1)
      Fail(*edit_, "edit of record " + std::to_string(record));
  }
}

void QtContender::Append(int rows) {
  QSqlDatabase db = Database();
  if (!db.transaction()) throw std::runtime_error("QPSQL: no transaction");
  for (int i = 1; i <= rows; ++i) {
    append_->bindValue(0, i);
    append_->bindValue(1, QString("appended %1").arg(i));
    append_->bindValue(2, QString("%1.25").arg(i % 1000));
    append_->bindValue(3, QString("2024-03-01"));
    if (!append_->exec()) {
      db.rollback();
      Fail(*append_, "append");
    }
  }
  if (!db.commit()) throw std::runtime_error("QPSQL: commit failed");
}

}  // namespace link_bench
