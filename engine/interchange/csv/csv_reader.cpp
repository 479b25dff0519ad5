#include "engine/interchange/csv/csv_reader.h"

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/interchange/csv/csv_file.h"
#include "engine/interchange/csv/csv_values.h"

namespace nce {
namespace {

class CsvRowReader : public RowSource {
 public:
  CsvRowReader(const std::string& path, const TableShape& target, const CsvReadOptions& options)
      : file_(path, options.encoding), shape_(target) {
    const std::vector<std::string>& names = file_.names();
    for (size_t i = 0; i < names.size(); ++i) {
      size_t j = 0;
      while (j < shape_.columns.size() && !EqualsNoCase(shape_.columns[j].name, names[i])) ++j;
      if (j == shape_.columns.size())
        file_.Refuse(NDS_E_INVALID_FIELD, i, "the table has no column of this name");
      column_of_field_.push_back(j);
    }
    for (size_t j = 0; j < shape_.columns.size(); ++j) {
      bool named = false;
      for (size_t k : column_of_field_) named = named || k == j;
      if (!named) unnamed_columns_.push_back(j);
    }
  }

  const TableShape& shape() const override { return shape_; }

  bool Next(TableRow* row) override {
    if (!file_.Next()) return false;
    row->resize(shape_.columns.size());
    // Columns the file does not have are left to the table's defaults.
    for (size_t j : unnamed_columns_) (*row)[j].kind = Value::Kind::kNull;
    for (size_t i = 0; i < column_of_field_.size(); ++i) {
      const size_t j = column_of_field_[i];
      const FieldSpec& spec = shape_.columns[j].shape;
      Value& value = (*row)[j];
      std::string_view raw = file_.raw(i);
      const bool text = IsCsvTextType(spec.type);
      if (raw.empty()) {
        if (text && file_.quoted(i)) {
          value.kind = Value::Kind::kText;
          value.bytes.clear();
        } else {
          SetNull(i, j, &value);
        }
        continue;
      }
      // Only text needs decoding: the forms of the other types are ASCII,
      // which the encoding writes as ASCII, and any other byte fails them.
      uint32_t error = CsvFieldValue(spec, text ? file_.Text(i) : raw, &value, &why_);
      if (error != 0) file_.Refuse(error, i, why_);
    }
    return true;
  }

  uint64_t BytesRead() const override { return file_.bytes_read(); }
  uint64_t BytesTotal() const override { return file_.bytes_total(); }

  std::string Where(size_t column) const override {
    std::string name =
        column < shape_.columns.size() ? "\"" + shape_.columns[column].name + "\"" : "";
    std::string place =
        PlacedMessage(FilePlace{file_.path(), file_.line(), name}, "line", "column", "");
    return place.substr(0, place.size() - 2);  // without the ": " before a text
  }

 private:
  // Field `i` of the record is NULL: refused for a column that holds none.
  void SetNull(size_t i, size_t j, Value* value) {
    if (!shape_.columns[j].nullable)
      file_.Refuse(NDS_E_VALUE_REQUIRED, i, "the column may not be empty");
    value->kind = Value::Kind::kNull;
  }

  CsvFile file_;
  TableShape shape_;
  std::vector<size_t> column_of_field_;  // for each field of a record, its column in shape_
  std::vector<size_t> unnamed_columns_;  // columns of shape_ the header does not name
  std::string why_;                      // a refusal's words, reused
};

}  // namespace

std::unique_ptr<RowSource> OpenCsvReader(const std::string& path, const TableShape& target,
                                         const CsvReadOptions& options) {
  return std::make_unique<CsvRowReader>(path, target, options);
}

}  // namespace nce
