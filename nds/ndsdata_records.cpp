// The record layer of the cursor dataset: field definitions from the engine
// cursor, record buffers, fetching and editing. Until it is built, a cursor
// can be obtained and closed but not read: reading its field definitions
// refuses, so opening fails cleanly (the framework then closes the cursor)
// and none of the record hooks below is ever reached.
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kNoRecordLayer[] =
    "Reading the records of an engine cursor is not supported by this version of the components.";

}  // namespace

[[noreturn]] void TNdsDataSet::RefuseRecordAccess() const {
  throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoRecordLayer);
}

void TNdsDataSet::LoadFieldDefs() {
  RefuseRecordAccess();
}

dataset::TRecordBuffer TNdsDataSet::AllocateRecordBuffer() {
  RefuseRecordAccess();
}
void TNdsDataSet::ReleaseRecordBuffer(dataset::TRecordBuffer& buffer) {
  delete[] buffer;
  buffer = nullptr;
}
int TNdsDataSet::RecordImageSize() {
  return recordSize_;
}
void TNdsDataSet::ClearRecordImage(dataset::TRecordBuffer) {
  RefuseRecordAccess();
}
dataset::TGetResult TNdsDataSet::FetchRecord(dataset::TRecordBuffer, dataset::TGetMode) {
  return dataset::grError;
}
void TNdsDataSet::GoBeforeFirst() {
  RefuseRecordAccess();
}
void TNdsDataSet::GoAfterLast() {
  RefuseRecordAccess();
}
void TNdsDataSet::GoToBookmark(const void*) {
  RefuseRecordAccess();
}
void TNdsDataSet::GoToBufferRecord(dataset::TRecordBuffer) {
  RefuseRecordAccess();
}
void TNdsDataSet::RefreshCurrentRecord() {
  RefuseRecordAccess();
}
void TNdsDataSet::CopyBookmarkOut(dataset::TRecordBuffer, void*) {
  RefuseRecordAccess();
}
void TNdsDataSet::CopyBookmarkIn(dataset::TRecordBuffer, const void*) {
  RefuseRecordAccess();
}
dataset::TBookmarkFlag TNdsDataSet::ReadBookmarkFlag(dataset::TRecordBuffer) {
  return dataset::bfEOF;
}
void TNdsDataSet::WriteBookmarkFlag(dataset::TRecordBuffer, dataset::TBookmarkFlag) {}
bool TNdsDataSet::ReadFieldValue(dataset::TField&, void*) {
  return false;
}
void TNdsDataSet::WriteFieldValue(dataset::TField&, const void*) {
  RefuseRecordAccess();
}
void TNdsDataSet::PostRecord() {
  RefuseRecordAccess();
}
void TNdsDataSet::DeleteCurrentRecord() {
  RefuseRecordAccess();
}

}  // namespace nds
