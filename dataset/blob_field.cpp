// TBlobField: values that travel through the dataset's blob streams.
#include <memory>

#include "dataset/dataset.h"
#include "dataset/fields.h"
#include "dataset/stream.h"

namespace dataset {

TBlobField::TBlobField(TComponent* owner, TFieldType type) : TField(owner, type) {}

int64_t TBlobField::BlobSize() const {
  if (IsNull()) return 0;
  std::unique_ptr<TStream> stream =
      DataSet()->CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
  return stream ? stream->Size() : 0;
}

std::string TBlobField::AsString() const {
  if (!DataSet()) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  std::unique_ptr<TStream> stream =
      DataSet()->CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
  if (!stream) return "";
  std::string text(static_cast<size_t>(stream->Size()), '\0');
  stream->SetPosition(0);
  int64_t read = text.empty() ? 0 : stream->Read(text.data(), static_cast<int64_t>(text.size()));
  text.resize(static_cast<size_t>(read));
  return text;
}

void TBlobField::SetAsString(const std::string& value) {
  if (!DataSet()) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  std::unique_ptr<TStream> stream = DataSet()->CreateBlobStream(*this, bmWrite);
  if (!value.empty()) stream->WriteBuffer(value.data(), static_cast<int64_t>(value.size()));
}

void TBlobField::Clear() {
  // Opening a write stream empties the blob; nothing is written.
  if (!DataSet()) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  DataSet()->CreateBlobStream(*this, bmWrite);
}

Variant TBlobField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  std::string bytes = AsString();
  if (DataType() == ftMemo || DataType() == ftFmtMemo) return Variant(std::move(bytes));
  return Variant(TBytes(bytes.begin(), bytes.end()));
}

void TBlobField::SetAsVariant(const Variant& value) {
  if (value.IsClear()) {
    Clear();
    return;
  }
  TBytes bytes = value.AsBytes();
  SetAsString(std::string(bytes.begin(), bytes.end()));
}

void TBlobField::LoadFromStream(TStream& stream) {
  if (!DataSet()) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  std::unique_ptr<TStream> blob = DataSet()->CreateBlobStream(*this, bmWrite);
  blob->CopyFrom(stream, 0);
}

void TBlobField::SaveToStream(TStream& stream) const {
  std::string bytes = AsString();
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

}  // namespace dataset
