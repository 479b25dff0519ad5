// The events every dataset publishes in stored descriptions, in their
// published order. The framework's TDataSet publishes them; a dataset class
// that sets its own published order publishes them again after its
// properties (class_registry.h: a property published again takes the
// class's place).
#ifndef DATASET_DATASET_EVENTS_H
#define DATASET_DATASET_EVENTS_H

#include "dataset/class_registry.h"
#include "dataset/dataset.h"

namespace dataset {

template <class C>
void PublishDataSetEvents(TClassBuilder<C>& builder) {
  static_assert(std::is_base_of_v<TDataSet, C>, "dataset events belong to datasets");
  builder.EventMember("BeforeOpen", &TDataSet::BeforeOpen)
      .EventMember("AfterOpen", &TDataSet::AfterOpen)
      .EventMember("BeforeClose", &TDataSet::BeforeClose)
      .EventMember("AfterClose", &TDataSet::AfterClose)
      .EventMember("BeforeInsert", &TDataSet::BeforeInsert)
      .EventMember("AfterInsert", &TDataSet::AfterInsert)
      .EventMember("BeforeEdit", &TDataSet::BeforeEdit)
      .EventMember("AfterEdit", &TDataSet::AfterEdit)
      .EventMember("BeforePost", &TDataSet::BeforePost)
      .EventMember("AfterPost", &TDataSet::AfterPost)
      .EventMember("BeforeCancel", &TDataSet::BeforeCancel)
      .EventMember("AfterCancel", &TDataSet::AfterCancel)
      .EventMember("BeforeDelete", &TDataSet::BeforeDelete)
      .EventMember("AfterDelete", &TDataSet::AfterDelete)
      .EventMember("BeforeScroll", &TDataSet::BeforeScroll)
      .EventMember("AfterScroll", &TDataSet::AfterScroll)
      .EventMember("BeforeRefresh", &TDataSet::BeforeRefresh)
      .EventMember("AfterRefresh", &TDataSet::AfterRefresh)
      .EventMember("OnCalcFields", &TDataSet::OnCalcFields)
      .EventMember("OnNewRecord", &TDataSet::OnNewRecord)
      // Through the dataset's setter, which hands a changed filter on.
      .template Event<TFilterRecordEvent>(
          "OnFilterRecord",
          [](const C& d) {
            return d.OnFilterRecord() ? d.EventHandlerName("OnFilterRecord") : std::string();
          },
          [](C& d, const std::string& name, TFilterRecordEvent handler) {
            const bool assigned = static_cast<bool>(handler);
            d.SetOnFilterRecord(std::move(handler));
            d.SetEventHandlerName("OnFilterRecord", assigned ? name : std::string());
          })
      .EventMember("OnEditError", &TDataSet::OnEditError)
      .EventMember("OnPostError", &TDataSet::OnPostError)
      .EventMember("OnDeleteError", &TDataSet::OnDeleteError);
}

}  // namespace dataset

#endif  // DATASET_DATASET_EVENTS_H
