// Key editing of the cursor dataset over its key buffers (TNdsKeyBuffers):
// SetKey edits the lookup buffer, SetRangeStart and SetRangeEnd the range
// buffers; Cancel restores the edited buffer from the saved one. Raw keys of
// the active index are built from the marked fields of a buffer.
#include <string>

#include "nds/ndsdata.h"

namespace nds {

namespace {

// Longest segment field name the engine reports, with its terminator.
constexpr std::uint16_t kSegmentNameRoom = 129;

}  // namespace

void TNdsDataSet::BeginKeyEdit() {
  if (!keyBuffers_.Allocated()) CheckActive();
  keyBuffers_.BeginEdit();
}

void TNdsDataSet::SetRangeStart() {
  EditRangeBuffer(TNdsKeyBuffers::kRangeStart);
}

void TNdsDataSet::SetRangeEnd() {
  EditRangeBuffer(TNdsKeyBuffers::kRangeEnd);
}

void TNdsDataSet::EditRangeBuffer(int which) {
  CheckActive();
  CheckBrowseMode();
  keyBuffers_.Clear(which);
  keyBuffers_.SetNext(which);
  SetKey();
}

void TNdsDataSet::BuildRawKeyFromBuffer(int which, bool partial, std::uint8_t* key,
                                        std::uint16_t& length) {
  const std::uint8_t* image = keyBuffers_.RecordImage(which);
  const bool skipUnset =
      tableOptions_->NdsAutoKeyFieldCount() || keyBuffers_.FieldCount(which) != 0;
  CheckEngineCode(this, NdsInitRawKey(activeOrderHandle_));
  for (std::uint16_t segment = 0;; ++segment) {
    char name[kSegmentNameRoom] = {};
    std::uint16_t nameLength = kSegmentNameRoom;
    if (NdsGetSegmentFieldname(activeOrderHandle_, segment, name, &nameLength) != NDS_SUCCESS)
      break;
    const int field = engineFields_->FindEngineField(std::string(name, nameLength));
    if (field < 0) continue;
    const TNCEFieldDef& def = *engineFields_->Items(field);
    const std::uint16_t mark = keyBuffers_.Mark(which, field);
    if (mark == TNdsKeyBuffers::kMarkNotSet) {
      if (!skipUnset) CheckEngineCode(this, NdsSetEmpty(activeOrderHandle_, def.name.c_str()));
      continue;
    }
    const bool text = def.engineType == NDS_STRING || def.engineType == NDS_CISTRING;
    const std::uint32_t bytes = text && partial ? mark : def.length;
    CheckEngineCode(
        this,
        text ? NdsSetField(activeOrderHandle_, def.name.c_str(), image + def.offset, bytes)
             : NdsSetFieldRaw(activeOrderHandle_, def.name.c_str(), image + def.offset, bytes));
  }
  CheckEngineCode(this, NdsBuildRawKey(activeOrderHandle_, key, &length));
}

void TNdsDataSet::EndKeyEdit(bool keep) {
  keyBuffers_.EndEdit(keep, Modified());
  TDataSet::EndKeyEdit(keep);
}

}  // namespace nds
