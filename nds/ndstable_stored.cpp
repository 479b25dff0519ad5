// The stored description of the query and its dataset classes: published
// properties with their defaults and stored rules, and the query's extra
// stored properties "Data", "ParamData" and "WaitCursor".
#include <mutex>
#include <string>
#include <vector>

#include "dataset/class_registry.h"
#include "dataset/dataset_events.h"
#include "dataset/filer.h"
#include "dataset/stream.h"
#include "dataset/streaming.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndsfunc.h"
#include "nds/ndstable.h"

namespace nds {

void TNdsQuery::DefineProperties(dataset::TFiler& filer) {
  TNdsExtendedDataSet::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "Data",
      [this](dataset::TStream& stream) {
        // Kept as it is and written back unchanged; never interpreted.
        auto block =
            std::make_unique<std::vector<std::uint8_t>>(static_cast<size_t>(stream.Size()));
        if (!block->empty()) stream.ReadBuffer(block->data(), static_cast<int64_t>(block->size()));
        binaryData_ = std::move(block);
      },
      [this](dataset::TStream& stream) {
        if (binaryData_ && !binaryData_->empty())
          stream.WriteBuffer(binaryData_->data(), static_cast<int64_t>(binaryData_->size()));
      },
      binaryData_ != nullptr);
  filer.DefineProperty(
      "ParamData", [this](dataset::TReader& reader) { reader.ReadCollection(*params_); },
      [this](dataset::TWriter& writer) { writer.WriteCollection(*params_); }, true);
  // Older descriptions carry it; it has no meaning here and is never written.
  filer.DefineProperty(
      "WaitCursor",
      [](dataset::TReader& reader) {
        if (reader.NextValue() == dataset::vaInteger)
          reader.ReadInteger();
        else
          reader.ReadIdent();
      },
      nullptr, false);
}

namespace {

void RegisterTableOptions() {
  using O = TNdsTableOptions;
  dataset::RegisterClass<O, dataset::TPersistent>("TNdsTableOptions")
      .Enum<TNdsLockTypes>("NdsLockType", &O::NdsLockType, &O::SetNdsLockType,
                           {"Proprietary", "Compatible"}, Proprietary)
      .Enum<TNdsCharTypes>("NdsCharType", &O::NdsCharType, &O::SetNdsCharType, {"ANSI", "OEM"},
                           ANSI)
      .Enum<TNdsRespectFilters>("NdsFilterOptions", &O::NdsFilterOptions, &O::SetNdsFilterOptions,
                                {"IGNORE_WHEN_COUNTING", "RESPECT_WHEN_COUNTING"},
                                IGNORE_WHEN_COUNTING)
      .Boolean("NdsFreshRecordCount", &O::NdsFreshRecordCount, &O::SetNdsFreshRecordCount, false)
      .Enum<TNdsRespectScopes>("NdsScopeOptions", &O::NdsScopeOptions, &O::SetNdsScopeOptions,
                               {"IGNORE_SCOPES_WHEN_COUNTING", "RESPECT_SCOPES_WHEN_COUNTING"},
                               IGNORE_SCOPES_WHEN_COUNTING)
      .Boolean("NdsAOFResolveImmediate", &O::NdsAOFResolveImmediate, &O::SetNdsAOFResolveImmediate,
               false)
      .Boolean("NdsRightsCheck", &O::NdsRightsCheck, &O::SetNdsRightsCheck, true)
      .Boolean("NdsOptimizedFilters", &O::NdsOptimizedFilters, &O::SetNdsOptimizedFilters, true)
      .Integer(
          "NdsIndexPageSize", &O::NdsIndexPageSize,
          [](O& o, int64_t v) {
            if (v < 0 || v > 8192) throw dataset::ERangeError("Range check error");
            o.SetNdsIndexPageSize(static_cast<TNdsIndexPageSizes>(v));
          },
          0)
      .Enum<TNdsRecordCacheTypes>("NdsRecordCache", &O::NdsRecordCache, &O::SetNdsRecordCache,
                                  {"rcNone", "rcStandard", "rcAggressive"}, rcStandard)
      .Enum<TNdsAOFTypes>("NdsAOFType", &O::NdsAOFType, &O::SetNdsAOFType,
                          {"atDynamic", "atKeySet", "atFixed"}, atDynamic)
      .Boolean("NdsAutoKeyFieldCount", &O::NdsAutoKeyFieldCount, &O::SetNdsAutoKeyFieldCount, false)
      .Boolean("NdsCalcFieldsBeforeFilter", &O::NdsCalcFieldsBeforeFilter,
               &O::SetNdsCalcFieldsBeforeFilter, false)
      .Enum<TNdsRecordLockingModes>("NdsRecordLockingMode", &O::NdsRecordLockingMode,
                                    &O::SetNdsRecordLockingMode, {"lmPessimistic", "lmOptimistic"},
                                    lmPessimistic)
      .Boolean("NdsPreserveSpaces", &O::NdsPreserveSpaces, &O::SetNdsPreserveSpaces, false)
      .Boolean("NdsNumericsAsFloats", &O::NdsNumericsAsFloats, &O::SetNdsNumericsAsFloats, false);
}

// Every published property of the cursor dataset in its published order,
// then its 25 events. The framework's Active, AutoCalcFields, Filter,
// Filtered and events are published again here to take their places in
// that order.
void RegisterDataSets() {
  using D = TNdsDataSet;
  auto builder =
      dataset::RegisterClass<D, dataset::TDataSet>("TNdsDataSet")
          // Written only when StoreActive is on.
          .Boolean("Active", &D::Active, &D::SetActive, false,
                   [](const D& d) { return d.StoreActive(); })
          .Boolean("AutoCalcFields", &D::AutoCalcFields, &D::SetAutoCalcFields, true)
          .String("DatabaseName", &D::DatabaseName, &D::SetDatabaseName)
          .String("Filter", &D::Filter, &D::SetFilter)
          .Boolean("Filtered", &D::Filtered, &D::SetFiltered, false)
          .String("InfoStructure", &D::InfoStructure, &D::SetInfoStructure)
          // Read from the cursor at every open, so never written.
          .Object(
              "IndexDefs", [](D& d) { return &d.IndexDefs(); }, [](const D&) { return false; })
          .String("IndexFieldNames", &D::IndexFieldNames, &D::SetIndexFieldNames)
          .String("IndexName", &D::IndexName, &D::SetIndexName)
          .String("MasterFields", &D::MasterFields, &D::SetMasterFields)
          .Component<dataset::TDataSource>("MasterSource", &D::MasterSource, &D::SetMasterSource)
          .Boolean("Sequenced", &D::Sequenced, &D::SetSequenced, false)
          .Enum<TNdsSequencedLevel>("SequencedLevel", &D::SequencedLevel, &D::SetSequencedLevel,
                                    {"slStandard", "slExact"}, slStandard)
          .Boolean("Scoped", &D::Scoped, &D::SetScoped, false)
          .String("ScopeBegin", &D::ScopeBegin, &D::SetScopeBegin)
          .String("ScopeEnd", &D::ScopeEnd, &D::SetScopeEnd)
          // Always written.
          .Boolean("StoreActive", &D::StoreActive, &D::SetStoreActive)
          // Shown, never written; a stored value is read and ignored.
          .String(
              "Version", &D::Version, [](D&, const std::string&) {}, std::nullopt,
              [](const D&) { return false; });
  dataset::PublishDataSetEvents(builder);
  builder.EventMember("OnUpdateRecord", &D::OnUpdateRecord);
  dataset::RegisterClass<TNdsExtendedDataSet, D>("TNdsExtendedDataSet");

  using Q = TNdsQuery;
  dataset::RegisterClass<Q, TNdsExtendedDataSet>("TNdsQuery")
      .Object("NdsTableOptions", [](Q& q) { return q.NdsTableOptions(); })
      .Boolean("ReadAllColumns", &Q::ReadAllColumns, &Q::SetReadAllColumns, false)
      .Boolean("Constrained", &Q::Constrained, &Q::SetConstrained, false)
      .Component<dataset::TDataSource>("DataSource", &Q::QueryDataSource, &Q::SetDataSource)
      .Boolean("ParamCheck", &Q::ParamCheck, &Q::SetParamCheck, true)
      .Boolean("RequestLive", &Q::RequestLive, &Q::SetRequestLive, false)
      .Object("SQL", [](Q& q) { return q.SQL(); })
      .Enum<TNdsTableTypes>("SourceTableType", &Q::SourceTableType, &Q::SetSourceTableType,
                            {"ttNdsCDX", "ttNdsNTX", "ttNdsNDT", "ttNdsDefault"}, ttNdsNDT)
      .Component<TNdsConnection>("NdsConnection", &Q::NdsConnection, &Q::SetNdsConnection);
}

}  // namespace

void RegisterQueryClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    dataset::RegisterFrameworkClasses();
    RegisterTableOptions();
    RegisterDataSets();
  });
}

}  // namespace nds
