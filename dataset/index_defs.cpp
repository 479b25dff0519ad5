// Index definitions of a dataset.
#include "dataset/index_defs.h"

#include "dataset/dataset.h"
#include "dataset/exceptions.h"
#include "dataset/text.h"

namespace dataset {

TIndexDef::TIndexDef(TCollection* collection) : TCollectionItem(collection) {}

TIndexDef::TIndexDef(const std::string& name, const std::string& fields, TIndexOptions options)
    : TCollectionItem(nullptr), name_(name), fields_(fields), options_(options) {}

void TIndexDef::Assign(const TPersistent* source) {
  auto* def = dynamic_cast<const TIndexDef*>(source);
  if (!def) {
    TPersistent::Assign(source);
    return;
  }
  name_ = def->name_;
  fields_ = def->fields_;
  desc_fields_ = def->desc_fields_;
  case_ins_fields_ = def->case_ins_fields_;
  expression_ = def->expression_;
  source_ = def->source_;
  options_ = def->options_;
}

TIndexDefs::TIndexDefs(TDataSet* dataset)
    : TCollection([](TCollection* defs) { return new TIndexDef(defs); }, dataset),
      dataset_(dataset) {}

TIndexDef* TIndexDefs::Add(const std::string& name, const std::string& fields,
                           TIndexOptions options) {
  TIndexDef* def = AddIndexDef();
  def->SetName(name);
  def->SetFields(fields);
  def->SetOptions(options);
  return def;
}

int TIndexDefs::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(Items(i)->Name(), name)) return i;
  }
  return -1;
}

TIndexDef* TIndexDefs::Find(const std::string& name) const {
  int index = IndexOf(name);
  if (index < 0) throw EDatabaseError("Index '" + name + "' not found");
  return Items(index);
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& fields, bool case_insensitive) const {
  const size_t length = fields.size();
  if (length == 0) return nullptr;
  for (int pass = 0; pass < 2; ++pass) {
    // Pass 0: the same fields; pass 1: an index that begins with them.
    for (int i = 0; i < Count(); ++i) {
      TIndexDef* def = Items(i);
      if (def->Options().Contains(ixExpression)) continue;
      if (case_insensitive && !def->Options().Contains(ixCaseInsensitive)) continue;
      const std::string& own = def->Fields();
      if (pass == 0 && SameText(own, fields)) return def;
      if (pass == 1 && own.size() > length && own[length] == ';' &&
          SameText(own.substr(0, length), fields)) {
        return def;
      }
    }
  }
  return nullptr;
}

void TIndexDefs::Update() {
  if (updated_ || !dataset_) return;
  dataset_->UpdateIndexDefs();
  updated_ = true;
}

}  // namespace dataset
