// Shared set-up of the dataset framework tests: an in-memory dataset with
// an integer ID and a NAME column, and a recorder of events.
#ifndef TESTS_DATASET_DATASET_FIXTURE_H
#define TESTS_DATASET_DATASET_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_dataset.h"

namespace dataset_test {

// ID 1..count, NAME "name<ID>", opened and on the first record.
inline void FillNumbered(TMemoryDataSet& dataset, int count) {
  if (dataset.FieldDefs().Count() == 0) {
    dataset.FieldDefs().Add("ID", ftInteger);
    dataset.FieldDefs().Add("NAME", ftString, 20);
  }
  dataset.Open();
  for (int i = 1; i <= count; ++i) dataset.AppendRecord({i, "name" + std::to_string(i)});
  dataset.First();
}

inline int CurrentId(TMemoryDataSet& dataset) {
  return dataset.FieldByName("ID")->AsInteger();
}

// The IDs from the first record to the last.
inline std::vector<int> AllIds(TMemoryDataSet& dataset) {
  std::vector<int> ids;
  for (dataset.First(); !dataset.Eof(); dataset.Next()) ids.push_back(CurrentId(dataset));
  return ids;
}

// Collects the names of events in the order they fire.
struct EventLog {
  std::vector<std::string> events;
  void Watch(TDataSet& dataset) {
    auto add = [this](const char* name) {
      return [this, name](TDataSet&) { events.push_back(name); };
    };
    dataset.BeforeOpen = add("BeforeOpen");
    dataset.AfterOpen = add("AfterOpen");
    dataset.BeforeClose = add("BeforeClose");
    dataset.AfterClose = add("AfterClose");
    dataset.BeforeInsert = add("BeforeInsert");
    dataset.AfterInsert = add("AfterInsert");
    dataset.BeforeEdit = add("BeforeEdit");
    dataset.AfterEdit = add("AfterEdit");
    dataset.BeforePost = add("BeforePost");
    dataset.AfterPost = add("AfterPost");
    dataset.BeforeCancel = add("BeforeCancel");
    dataset.AfterCancel = add("AfterCancel");
    dataset.BeforeDelete = add("BeforeDelete");
    dataset.AfterDelete = add("AfterDelete");
    dataset.BeforeScroll = add("BeforeScroll");
    dataset.AfterScroll = add("AfterScroll");
    dataset.OnNewRecord = add("OnNewRecord");
  }
  std::string Joined() const {
    std::string text;
    for (const std::string& event : events) text += (text.empty() ? "" : " ") + event;
    return text;
  }
};

}  // namespace dataset_test

#endif  // TESTS_DATASET_DATASET_FIXTURE_H
