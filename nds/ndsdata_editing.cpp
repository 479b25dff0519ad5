// Editing hooks of the cursor dataset. Records can be read but not yet
// written: CanModify answers false, so the framework refuses Edit, Insert
// and Append itself, and the hooks below refuse any other way in. Only
// calculated fields take values, while they are computed.
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kNoEditing[] =
    "Editing the records of an engine cursor is not supported by this version of the "
    "components.";

constexpr const char kRenameFreeTable[] =
    "The method RenameTable in TNdsDataSet is not supported on free tables.";
constexpr const char kNoBatchMove[] = "The method BatchMove in TNdsDataSet is not supported.";
constexpr const char kNoUpdateStatus[] = "The method UpdateStatus in TNdsDataSet is not supported.";

}  // namespace

void TNdsDataSet::RenameTable(const std::string& newName) {
  // Only a data dictionary knows its tables by name; free tables are files.
  if (connection_ == nullptr || !connection_->IsDictionaryConnection())
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kRenameFreeTable);
  CheckInactive();
  CheckEngineCode(this, NdsDDRenameObject(connection_->ConnectionHandle(), tableName_.c_str(),
                                          newName.c_str(), NDS_DD_TABLE_OBJECT, 0));
  SetTableName(newName);
}

void TNdsDataSet::BatchMove() {
  throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoBatchMove);
}

void TNdsDataSet::UpdateStatus() {
  throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoUpdateStatus);
}

[[noreturn]] void TNdsDataSet::RefuseEditing() const {
  throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoEditing);
}

bool TNdsDataSet::CanModify() {
  return false;
}

void TNdsDataSet::WriteFieldValue(dataset::TField& field, const void* value) {
  // Calculated and lookup fields get their values while the framework
  // computes them; they live in the buffer's calculated-field area, not in
  // the engine's record.
  if (field.FieldNo() <= 0 && State() == dataset::dsCalcFields) {
    WriteCalcSlot(CalcBuffer(), field, value);
    return;
  }
  // Keys and search values go to their own buffers, whatever editing allows.
  if (State() == dataset::dsSetKey || State() == dataset::dsFilter) {
    WriteSearchValue(field, value);
    return;
  }
  RefuseEditing();
}

void TNdsDataSet::PostRecord() {
  RefuseEditing();
}

void TNdsDataSet::DeleteCurrentRecord() {
  RefuseEditing();
}

}  // namespace nds
