// Index definitions: the indexes a dataset's cursor offers (name, fields,
// options). The "updated" flag tells whether the list reflects the cursor.
#ifndef DATASET_INDEX_DEFS_H
#define DATASET_INDEX_DEFS_H

#include <memory>
#include <string>
#include <vector>

#include "dataset/collection.h"
#include "dataset/component.h"
#include "dataset/set.h"

namespace dataset {

class TDataSet;
class TIndexDefs;

enum TIndexOption {
  ixPrimary,
  ixUnique,
  ixDescending,
  ixCaseInsensitive,
  ixExpression,
  ixNonMaintained,
};
using TIndexOptions = TSet<TIndexOption>;

class TIndexDef : public TCollectionItem {
 public:
  // `collection` may be null for a definition that stands alone (for
  // example one a provider builds from an ORDER BY clause).
  explicit TIndexDef(TCollection* collection = nullptr);
  TIndexDef(const std::string& name, const std::string& fields, TIndexOptions options);

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  // Semicolon-separated field names.
  const std::string& Fields() const { return fields_; }
  void SetFields(const std::string& fields) { fields_ = fields; }
  TIndexOptions Options() const { return options_; }
  void SetOptions(TIndexOptions options) { options_ = options; }
  // Fields sorted descending / compared without regard to case, when only
  // some are.
  const std::string& DescFields() const { return desc_fields_; }
  void SetDescFields(const std::string& value) { desc_fields_ = value; }
  const std::string& CaseInsFields() const { return case_ins_fields_; }
  void SetCaseInsFields(const std::string& value) { case_ins_fields_ = value; }
  // The key expression of an expression index.
  const std::string& Expression() const { return expression_; }
  void SetExpression(const std::string& value) { expression_ = value; }
  // The file or source the index comes from, when the dataset knows it.
  const std::string& Source() const { return source_; }
  void SetSource(const std::string& value) { source_ = value; }
  void Assign(const TPersistent* source) override;
  std::string DisplayName() const override { return name_; }

 private:
  std::string name_, fields_, desc_fields_, case_ins_fields_, expression_, source_;
  TIndexOptions options_;
};

class TIndexDefs : public TCollection {
 public:
  // `dataset` owns the list and brings it up to date (may be null).
  explicit TIndexDefs(TDataSet* dataset);

  TDataSet* DataSet() const { return dataset_; }
  // Raises EListError for a bad index.
  TIndexDef* Items(int index) const { return static_cast<TIndexDef*>(TCollection::Items(index)); }
  TIndexDef* operator[](int index) const { return Items(index); }

  TIndexDef* Add(const std::string& name, const std::string& fields, TIndexOptions options);
  TIndexDef* AddIndexDef() { return static_cast<TIndexDef*>(TCollection::Add()); }
  // Case-insensitive; -1 / null when none. Find raises
  // "Index 'X' not found".
  int IndexOf(const std::string& name) const;
  TIndexDef* Find(const std::string& name) const;
  // The first non-expression index whose fields equal `fields` or begin
  // with them (followed by ";"), case-insensitive; with
  // `case_insensitive`, only indexes with ixCaseInsensitive. Null when none.
  TIndexDef* GetIndexForFields(const std::string& fields, bool case_insensitive) const;

  bool Updated() const { return updated_; }
  void SetUpdated(bool value) { updated_ = value; }
  // Brings the list up to date through the dataset (UpdateIndexDefs).
  void Update();
  using TCollection::Update;

 private:
  TDataSet* dataset_;     // owner, may be null
  bool updated_ = false;  // see Updated()
};

}  // namespace dataset

#endif  // DATASET_INDEX_DEFS_H
