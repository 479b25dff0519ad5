// The demo tables' columns: what an aviation operations database keeps about
// aircraft, their components and maintenance, flights, crews and passengers.
#include "tools/demo_tables.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace demo {

namespace {

int Pick(Rng& rng, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(rng);
}

template <size_t N>
const char* PickFrom(Rng& rng, const char* const (&list)[N]) {
  return list[Pick(rng, 0, static_cast<int>(N) - 1)];
}

// A quoted SQL text literal; quotes inside are doubled.
std::string Text(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string Number(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

// Records with higher keys are newer: the date advances about three days a
// key from January 2019, so archived (low) keys are the oldest.
std::string DateFor(Rng& rng, int key, int extra_days = 0) {
  using namespace std::chrono;
  const sys_days day =
      sys_days{year{2019} / January / 1} + days{key * 3 + Pick(rng, 0, 2) + extra_days};
  const year_month_day ymd{day};
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "'%04d-%02u-%02u'", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  return buffer;
}

const char* const kTails[] = {"N412VA", "N417VA", "N420VA", "N433VA",
                              "N451VA", "N468VA", "N472VA", "N488VA"};
const char* const kPeople[] = {"Alvarez, Maria", "Brennan, Thomas", "Chen, Wei",
                               "Dubois, Claire", "Eriksen, Lars",   "Fitzgerald, Ann",
                               "Gupta, Ravi",    "Hoffmann, Jens",  "Ito, Kenji",
                               "Jansen, Pieter", "Kowalski, Marta", "O'Neill, Sean"};
const char* const kLastNames[] = {"Anderson", "Baker",  "Castillo", "Dawson", "Ellis",  "Foster",
                                  "Garcia",   "Harris", "Ivanova",  "Jones",  "O'Hara", "Novak"};
const char* const kFirstNames[] = {"Emma",  "Liam", "Olivia", "Noah",  "Ava",
                                   "Lucas", "Mia",  "Ethan",  "Sofia", "Jack"};
const char* const kAirports[] = {"KBOS", "KJFK", "KPHL", "KBWI", "KBDL", "KALB", "KPVD", "KBGR"};
const char* const kComponents[] = {"Main landing gear actuator",
                                   "Starter generator",
                                   "Propeller governor",
                                   "Fuel control unit",
                                   "Hydraulic pump",
                                   "Nose wheel assembly",
                                   "Oil cooler",
                                   "Pitot-static probe",
                                   "Engine-driven fuel pump",
                                   "Brake assembly, left"};
const char* const kTasks[] = {"100-hour inspection",       "Engine oil and filter change",
                              "Propeller overhaul",        "Landing gear lubrication",
                              "Pitot-static system check", "ELT battery replacement",
                              "Annual inspection",         "Hot section inspection",
                              "Brake wear check",          "Compass swing"};
const char* const kSquawks[] = {"Left fuel gauge reads low", "Cabin door seal leaking",
                                "Nav light inoperative",     "Autopilot disconnects in turbulence",
                                "Oil pressure fluctuates",   "Radio 2 static",
                                "Right brake soft",          "Windshield heat inoperative",
                                "Stall warning horn weak"};
const char* const kActions[] = {"Replaced unit, ops check good.",
                                "Adjusted and tested, within limits.",
                                "Cleaned connector, no further fault found.",
                                "Deferred per MEL 33-1, parts on order.",
                                "Resealed, leak check good.",
                                "Could not duplicate on ground run."};
const char* const kRemarks[] = {"Routine.",
                                "Smooth flight, light chop at FL090.",
                                "Delayed 20 min for de-icing.",
                                "Crosswind landing, runway 22.",
                                "Passenger with wheelchair assistance.",
                                "Fuel stop added for weather.",
                                "No remarks."};
const char* const kComponentNotes[] = {
    "Installed from stock.", "Serviceable tag on file.", "Life-limited part, track cycles.",
    "Removed for overhaul, reinstalled.", "Warranty until next overhaul."};
const char* const kRatings[] = {"ATP Multi-Engine Land", "Commercial Single-Engine Land",
                                "Instrument Airplane",   "Type rating BE-200",
                                "Type rating DHC-6",     "CFI Airplane",
                                "First Class Medical"};
const char* const kResults[] = {"Satisfactory", "Satisfactory", "Satisfactory", "Unsatisfactory"};
const char* const kShifts[] = {"Day", "Swing", "Night"};
const char* const kStatuses[] = {"Open", "In work", "Closed", "Closed"};
const char* const kTypes[] = {"BE20", "DHC6", "PC12", "C208"};

std::string Key(Rng&, int key) {
  return std::to_string(key);
}
std::string Tail(Rng& rng, int) {
  return Text(PickFrom(rng, kTails));
}
std::string Person(Rng& rng, int) {
  return Text(PickFrom(rng, kPeople));
}
std::string Date(Rng& rng, int key) {
  return DateFor(rng, key);
}
std::string LaterDate(Rng& rng, int key) {
  return Pick(rng, 0, 4) == 0 ? "NULL" : DateFor(rng, key, 5);
}
std::string ExpiryDate(Rng& rng, int key) {
  return DateFor(rng, key, 730);
}
std::string Airport(Rng& rng, int) {
  return Text(PickFrom(rng, kAirports));
}
std::string Flight(Rng& rng, int) {
  return Text("VX" + std::to_string(Pick(rng, 100, 899)));
}
std::string PilotId(Rng& rng, int) {
  return std::to_string(Pick(rng, 1001, 1012));
}
std::string RefNo(Rng& rng, int key) {
  return std::to_string(key * 2 + Pick(rng, 0, 1));
}
std::string PartNo(Rng& rng, int) {
  return Text(std::to_string(Pick(rng, 100, 999)) + "-" + std::to_string(Pick(rng, 1000, 9999)) +
              "-" + std::to_string(Pick(rng, 1, 9)));
}
std::string Serial(Rng& rng, int) {
  return Text("SN" + std::to_string(Pick(rng, 10000, 99999)));
}
std::string Component(Rng& rng, int) {
  return Text(PickFrom(rng, kComponents));
}
std::string Task(Rng& rng, int) {
  return Text(PickFrom(rng, kTasks));
}
std::string Squawk(Rng& rng, int) {
  return Text(PickFrom(rng, kSquawks));
}
std::string Action(Rng& rng, int) {
  return Text(PickFrom(rng, kActions));
}
std::string Remark(Rng& rng, int) {
  return Pick(rng, 0, 5) == 0 ? "NULL" : Text(PickFrom(rng, kRemarks));
}
std::string ComponentNote(Rng& rng, int) {
  return Pick(rng, 0, 3) == 0 ? "NULL" : Text(PickFrom(rng, kComponentNotes));
}
std::string Rating(Rng& rng, int) {
  return Text(PickFrom(rng, kRatings));
}
std::string Result(Rng& rng, int) {
  return Text(PickFrom(rng, kResults));
}
std::string Shift(Rng& rng, int) {
  return Text(PickFrom(rng, kShifts));
}
std::string Status(Rng& rng, int) {
  return Text(PickFrom(rng, kStatuses));
}
std::string AircraftType(Rng& rng, int) {
  return Text(PickFrom(rng, kTypes));
}
std::string LastName(Rng& rng, int) {
  return Text(PickFrom(rng, kLastNames));
}
std::string FirstName(Rng& rng, int) {
  return Text(PickFrom(rng, kFirstNames));
}
std::string Seat(Rng& rng, int) {
  return Text(std::to_string(Pick(rng, 1, 6)) + static_cast<char>('A' + Pick(rng, 0, 2)));
}
std::string Deferral(Rng& rng, int) {
  return Text(std::string(1, static_cast<char>('A' + Pick(rng, 0, 3))));
}
std::string Hours(Rng& rng, int key) {
  return Number(1200.0 + key * 4.7 + Pick(rng, 0, 40) / 10.0, 1);
}
std::string FlightHours(Rng& rng, int) {
  return Number(Pick(rng, 4, 58) / 10.0, 1);
}
std::string BlockHours(Rng& rng, int) {
  return Number(Pick(rng, 35, 420) / 100.0, 2);
}
std::string DutyHours(Rng& rng, int) {
  return Number(Pick(rng, 300, 1400) / 100.0, 2);
}
std::string RestHours(Rng& rng, int) {
  return Number(Pick(rng, 1000, 2400) / 100.0, 2);
}
std::string Fuel(Rng& rng, int) {
  return Number(Pick(rng, 400, 3600) / 10.0, 1);
}
std::string Cost(Rng& rng, int) {
  return Number(Pick(rng, 2500, 950000) / 100.0, 2);
}
std::string Weight(Rng& rng, int) {
  return Number(Pick(rng, 1000, 2600) / 10.0, 1);
}
std::string Small(Rng& rng, int) {
  return std::to_string(Pick(rng, 1, 9));
}
std::string Cycles(Rng& rng, int key) {
  return std::to_string(2000 + key * 3 + Pick(rng, 0, 5));
}
std::string Interval(Rng& rng, int) {
  return Number(Pick(rng, 1, 12) * 50.0, 1);
}

const std::map<std::string, std::vector<Column>>& AllColumns() {
  static const std::map<std::string, std::vector<Column>> tables = {
      {"acftcomp",
       {{"Rec_No", "INTEGER", Key},
        {"Tail_No", "CHAR(8)", Tail},
        {"Part_No", "CHAR(20)", PartNo},
        {"Serial_No", "CHAR(20)", Serial},
        {"Description", "CHAR(40)", Component},
        {"Installed", "DATE", Date},
        {"Hours_Since_New", "NUMERIC(10,1)", Hours},
        {"Cycles", "INTEGER", Cycles},
        {"Notes", "MEMO", ComponentNote}}},
      {"acftcrpt",
       {{"Rec_No", "INTEGER", Key},
        {"Tail_No", "CHAR(8)", Tail},
        {"Report_Date", "DATE", Date},
        {"Reported_By", "CHAR(30)", Person},
        {"Condition", "CHAR(60)", Squawk},
        {"Remarks", "MEMO", Action}}},
      {"acftlog",
       {{"ALog_No", "INTEGER", Key},
        {"Tail_No", "CHAR(8)", Tail},
        {"Log_Date", "DATE", Date},
        {"Flight_Hours", "NUMERIC(7,1)", FlightHours},
        {"Landings", "INTEGER", Small},
        {"Fuel_Gal", "NUMERIC(8,1)", Fuel},
        {"Pilot", "CHAR(30)", Person},
        {"Remarks", "MEMO", Remark}}},
      {"acftmaint",
       {{"Rec_No", "INTEGER", Key},
        {"Tail_No", "CHAR(8)", Tail},
        {"Task", "CHAR(60)", Task},
        {"Due_Date", "DATE", Date},
        {"Done_Date", "DATE", LaterDate},
        {"Interval_Hrs", "NUMERIC(7,1)", Interval},
        {"Cost", "NUMERIC(10,2)", Cost},
        {"Notes", "MEMO", Action}}},
      {"chkrides",
       {{"ChkRide_No", "INTEGER", Key},
        {"Pilot_Id", "INTEGER", PilotId},
        {"Pilot_Name", "CHAR(30)", Person},
        {"Ride_Date", "DATE", Date},
        {"Aircraft_Type", "CHAR(10)", AircraftType},
        {"Examiner", "CHAR(30)", Person},
        {"Result", "CHAR(14)", Result},
        {"Comments", "MEMO", Remark}}},
      {"dmico",
       {{"Rec_No", "INTEGER", Key},
        {"Tail_No", "CHAR(8)", Tail},
        {"Opened", "DATE", Date},
        {"Item", "CHAR(60)", Squawk},
        {"Deferral_Cat", "CHAR(2)", Deferral},
        {"Due_Date", "DATE", LaterDate},
        {"Notes", "MEMO", Action}}},
      {"dutyschedule",
       {{"Entry_No", "INTEGER", Key},
        {"Crew_Id", "INTEGER", PilotId},
        {"Crew_Name", "CHAR(30)", Person},
        {"Duty_Date", "DATE", Date},
        {"Base", "CHAR(4)", Airport},
        {"Duty_Hrs", "NUMERIC(5,2)", DutyHours},
        {"Notes", "MEMO", Remark}}},
      {"fltleg",
       {{"Leg_No", "INTEGER", Key},
        {"Flight_No", "CHAR(8)", Flight},
        {"Tail_No", "CHAR(8)", Tail},
        {"Leg_Date", "DATE", Date},
        {"Dep", "CHAR(4)", Airport},
        {"Arr", "CHAR(4)", Airport},
        {"Block_Hrs", "NUMERIC(5,2)", BlockHours},
        {"Pax", "INTEGER", Small},
        {"Remarks", "MEMO", Remark}}},
      {"fltsqk",
       {{"SqkNo", "INTEGER", Key},
        {"Leg_No", "INTEGER", RefNo},
        {"Tail_No", "CHAR(8)", Tail},
        {"Reported", "DATE", Date},
        {"Squawk", "CHAR(60)", Squawk},
        {"Action", "MEMO", Action}}},
      {"passenger",
       {{"Passenger_No", "INTEGER", Key},
        {"Leg_No", "INTEGER", RefNo},
        {"Last_Name", "CHAR(25)", LastName},
        {"First_Name", "CHAR(20)", FirstName},
        {"Weight_Lb", "NUMERIC(5,1)", Weight},
        {"Seat", "CHAR(4)", Seat},
        {"Notes", "MEMO", Remark}}},
      {"pdlog",
       {{"Entry_No", "INTEGER", Key},
        {"Pilot_Id", "INTEGER", PilotId},
        {"Duty_Date", "DATE", Date},
        {"Duty_Hrs", "NUMERIC(5,2)", DutyHours},
        {"Rest_Hrs", "NUMERIC(5,2)", RestHours},
        {"Remarks", "MEMO", Remark}}},
      {"pilotlog",
       {{"Entry_No", "INTEGER", Key},
        {"Pilot_Id", "INTEGER", PilotId},
        {"Log_Date", "DATE", Date},
        {"Tail_No", "CHAR(8)", Tail},
        {"Total_Hrs", "NUMERIC(6,1)", FlightHours},
        {"Night_Hrs", "NUMERIC(6,1)", FlightHours},
        {"Landings", "INTEGER", Small},
        {"Remarks", "MEMO", Remark}}},
      {"ratings",
       {{"Rating_No", "INTEGER", Key},
        {"Pilot_Id", "INTEGER", PilotId},
        {"Rating", "CHAR(30)", Rating},
        {"Issued", "DATE", Date},
        {"Expires", "DATE", ExpiryDate},
        {"Notes", "MEMO", Remark}}},
      {"schedule",
       {{"Entry_No", "INTEGER", Key},
        {"Flight_No", "CHAR(8)", Flight},
        {"Sched_Date", "DATE", Date},
        {"Dep", "CHAR(4)", Airport},
        {"Arr", "CHAR(4)", Airport},
        {"Tail_No", "CHAR(8)", Tail},
        {"Captain", "CHAR(30)", Person},
        {"Notes", "MEMO", Remark}}},
      {"shiftlog",
       {{"Entry_No", "INTEGER", Key},
        {"Shift_Date", "DATE", Date},
        {"Shift", "CHAR(8)", Shift},
        {"Supervisor", "CHAR(30)", Person},
        {"Hours", "NUMERIC(5,2)", DutyHours},
        {"Log", "MEMO", Action}}},
      {"squawk",
       {{"Rec_No", "INTEGER", Key},
        {"Tail_No", "CHAR(8)", Tail},
        {"Reported", "DATE", Date},
        {"Reported_By", "CHAR(30)", Person},
        {"Description", "CHAR(60)", Squawk},
        {"Cleared", "DATE", LaterDate},
        {"Corrective_Action", "MEMO", Action}}},
      {"wcpartchange",
       {{"Rec_No", "INTEGER", Key},
        {"WorkCard_No", "INTEGER", RefNo},
        {"Part_Off", "CHAR(20)", PartNo},
        {"Part_On", "CHAR(20)", PartNo},
        {"Serial_Off", "CHAR(20)", Serial},
        {"Serial_On", "CHAR(20)", Serial},
        {"Change_Date", "DATE", Date},
        {"Qty", "INTEGER", Small},
        {"Unit_Cost", "NUMERIC(10,2)", Cost}}},
      {"workcard",
       {{"Rec_No", "INTEGER", Key},
        {"Tail_No", "CHAR(8)", Tail},
        {"Title", "CHAR(60)", Task},
        {"Opened", "DATE", Date},
        {"Closed", "DATE", LaterDate},
        {"Labor_Hrs", "NUMERIC(6,2)", DutyHours},
        {"Status", "CHAR(10)", Status},
        {"Work_Done", "MEMO", Action}}},
  };
  return tables;
}

}  // namespace

const std::vector<Column>& ColumnsOf(const std::string& live) {
  const auto& tables = AllColumns();
  auto it = tables.find(live);
  if (it == tables.end()) throw std::invalid_argument("no demo table " + live);
  return it->second;
}

// Most pairs carry both kinds of damage in different measure; dmico is a
// clean pair, ratings has nothing archived yet, fltsqk only stale live rows,
// workcard only duplicated archive rows.
DamageProfile DamageOf(int index) {
  switch (index) {
    case 5:
      return {70, 30, 0, 0, 0};
    case 8:
      return {64, 32, 2, 0, 0};
    case 12:
      return {45, 0, 0, 0, 0};
    case 17:
      return {90, 40, 0, 3, 8};
    default:
      break;
  }
  return {60 + 5 * (index % 5), 24 + 2 * (index % 7), 3 + index % 4, 4 + index % 3, 9 + index % 4};
}

std::vector<std::string> RowValues(const std::vector<Column>& columns, Rng& rng, int key) {
  std::vector<std::string> values;
  values.reserve(columns.size());
  for (const Column& column : columns) values.push_back(column.value(rng, key));
  return values;
}

}  // namespace demo
