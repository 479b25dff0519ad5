#include "demo_table.h"

#include "dataset/strings.h"

namespace qtform {

namespace {

void SetText(nds::TNdsQuery& query, const std::string& text) {
  dataset::TStringList lines;
  lines.SetText(text);
  query.SetSQL(&lines);
}

void Run(const std::string& dir, const std::string& sql) {
  nds::TNdsQuery query(nullptr);
  query.SetDatabaseName(dir);
  SetText(query, sql);
  query.ExecSQL();
}

}  // namespace

void MakeDemoTable(const std::string& dir) {
  try {
    Stored(dir, "select count(*) from crew");
    return;  // there is one
  } catch (const std::exception&) {
    // No crew table yet.
  }
  Run(dir, "create table crew (id integer, name char(20), born date, active logical, notes memo)");
  Run(dir,
      "insert into crew values (1, 'Ames', '1971-03-04', 1, 'Captain since 2002'), "
      "(2, 'Baker', '1980-11-30', 1, 'Instructor'), (3, 'Cole', '1975-06-15', 0, 'On leave'), "
      "(4, 'Dunn', '1990-01-01', 1, ''), (5, 'Evans', '1988-08-08', 0, 'Retired')");
}

void OpenCrew(nds::TNdsQuery& query, const std::string& dir) {
  query.SetDatabaseName(dir);
  query.SetRequestLive(true);
  SetText(query, "select id, name, born, active, notes from crew");
  query.Open();
  query.FieldByName("name")->SetRequired(true);
}

std::string Stored(const std::string& dir, const std::string& select) {
  nds::TNdsQuery query(nullptr);
  query.SetDatabaseName(dir);
  SetText(query, select);
  query.Open();
  std::string rows;
  for (; !query.Eof(); query.Next()) {
    for (int i = 0; i < query.FieldCount(); ++i) {
      dataset::TField& field = *query.FieldByNumber(i + 1);
      rows += (i ? "|" : "") + (field.IsNull() ? std::string("NULL") : field.AsString());
    }
    rows += "\n";
  }
  return rows;
}

}  // namespace qtform
