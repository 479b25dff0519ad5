// tour DIR: the walk of docs/GETTING_STARTED.md as one program. It makes two
// tables in the empty database directory DIR, then queries, edits, commits,
// rolls back and narrows them with the components, printing what it sees.
// The package check runs it and compares its output, so the code of the
// guide keeps compiling and doing what the guide says.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "dataset/data_source.h"
#include "dataset/exceptions.h"
#include "dataset/strings.h"
#include "dataset/variant.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"

namespace {

void SetSQL(nds::TNdsQuery& query, const std::string& text) {
  dataset::TStringList lines;
  lines.SetText(text);
  query.SetSQL(&lines);
}

void Run(nds::TNdsConnection& connection, const std::string& sql) {
  nds::TNdsQuery query(nullptr);
  query.SetNdsConnection(&connection);
  SetSQL(query, sql);
  query.ExecSQL();
}

// The ids of the records `set` shows, in its order.
void PrintIds(const std::string& label, nds::TNdsDataSet& set) {
  std::cout << label << ':';
  for (set.First(); !set.Eof(); set.Next()) std::cout << ' ' << set.FieldByName("id")->AsInteger();
  std::cout << '\n';
}

void Tour(const std::string& dir) {
  nds::TNdsConnection connection(nullptr);
  connection.SetConnectPath(dir);
  connection.Connect();
  Run(connection, "create table legs (id integer, code char(6), city char(10), crew integer)");
  Run(connection,
      "insert into legs values (1, 'B20', 'Oslo', 7), (2, 'A10', 'Bern', 7), (3, 'C30', 'Oslo', 8),"
      " (4, 'A15', 'Rome', 9), (5, 'B25', 'Bern', 8), (6, 'D40', 'Oslo', 9)");
  Run(connection, "create index by_code on legs (code)");
  Run(connection, "create index by_crew on legs (crew)");
  Run(connection, "create table crew (crew integer, name char(10))");
  Run(connection, "insert into crew values (7, 'seven'), (8, 'eight'), (9, 'nine')");

  // A query with a parameter.
  nds::TNdsQuery legs(nullptr);
  legs.SetName("Legs");
  legs.SetNdsConnection(&connection);
  SetSQL(legs, "select * from legs where crew >= :crew");
  legs.ParamByName("crew")->SetAsInteger(8);
  legs.Open();
  PrintIds("crew 8 and more", legs);
  legs.Close();

  nds::TNdsQuery update(nullptr);
  update.SetNdsConnection(&connection);
  SetSQL(update, "update legs set crew = crew + 1 where city = :city");
  update.ParamByName("city")->SetAsString("Oslo");
  update.ExecSQL();
  std::cout << update.AffectedRows() << " rows changed\n";

  // Editing a live result.
  legs.SetRequestLive(true);
  SetSQL(legs, "select * from legs");
  legs.Open();
  legs.First();
  legs.Edit();
  legs.FieldByName("city")->SetAsString("Paris");
  legs.Post();
  legs.Edit();
  legs.FieldByName("city")->SetAsString("nowhere");
  legs.Cancel();
  legs.Append();
  legs.FieldByName("id")->SetAsInteger(7);
  legs.FieldByName("code")->SetAsString("E50");
  legs.Post();
  legs.Last();
  legs.Delete();
  std::cout << "first city " << (legs.First(), legs.FieldByName("city")->AsString()) << ", "
            << legs.RecordCount() << " records\n";

  legs.Close();
  legs.NdsTableOptions()->SetNdsRecordLockingMode(nds::lmOptimistic);
  legs.Open();

  // Transactions.
  connection.StartTransaction();
  try {
    legs.Edit();
    legs.FieldByName("crew")->SetAsInteger(1);
    legs.Post();
    update.ExecSQL();
    connection.CommitTransaction();
  } catch (const dataset::Exception&) {
    connection.RollbackTransaction();
    throw;
  }
  connection.StartTransaction();
  update.ExecSQL();
  connection.RollbackTransaction();
  legs.Open();
  std::cout << "crews after the rollback:";
  for (legs.First(); !legs.Eof(); legs.Next())
    std::cout << ' ' << legs.FieldByName("crew")->AsInteger();
  std::cout << '\n';

  // Master and detail, by parameter and by range.
  nds::TNdsQuery crews(nullptr);
  crews.SetNdsConnection(&connection);
  SetSQL(crews, "select * from crew");
  dataset::TDataSource crewSource(nullptr);
  crewSource.SetDataSet(&crews);
  nds::TNdsQuery crewLegs(nullptr);
  crewLegs.SetNdsConnection(&connection);
  SetSQL(crewLegs, "select * from legs where crew = :crew");
  crewLegs.SetDataSource(&crewSource);
  crews.Open();
  crewLegs.Open();
  crews.Last();
  PrintIds("legs of crew 9 by parameter", crewLegs);
  legs.Close();
  legs.SetIndexFieldNames("crew");
  legs.SetMasterSource(&crewSource);
  legs.SetMasterFields("crew");
  legs.Open();
  PrintIds("legs of crew 9 by range", legs);
  legs.SetMasterSource(nullptr);

  // Filters, ranges and Locate.
  legs.SetFilter("city <> 'Oslo' and crew > 6");
  legs.SetFiltered(true);
  PrintIds("filtered", legs);
  legs.SetFiltered(false);
  legs.SetIndexName("by_code");
  legs.SetRangeStart();
  legs.FieldByName("code")->SetAsString("B");
  legs.Post();
  legs.SetRangeEnd();
  legs.FieldByName("code")->SetAsString("C30");
  legs.Post();
  legs.ApplyRange();
  PrintIds("codes B to C30", legs);
  legs.ClearRange();
  using dataset::Variant;
  if (legs.Locate("code", Variant("b2"), {dataset::loCaseInsensitive, dataset::loPartialKey}))
    std::cout << "found " << legs.FieldByName("id")->AsInteger() << '\n';
  Variant city = legs.Lookup("id;crew", Variant(std::vector<Variant>{4, 9}), "city");
  std::cout << "record 4 of crew 9 is in " << city.AsString() << '\n';

  // An engine error and its number; the refused filter leaves the old one.
  legs.SetFiltered(true);
  try {
    legs.SetFilter("city = ");
  } catch (const nds::ENDSDatabaseError& e) {
    std::cout << "refused with " << e.EngineErrorCode() << '\n';
  }
  PrintIds("still filtered", legs);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: tour DIR (an empty database directory)\n";
    return 2;
  }
  try {
    Tour(argv[1]);
  } catch (const dataset::Exception& e) {
    std::cerr << "tour: " << e.Message() << '\n';
    return 1;
  }
  return 0;
}
