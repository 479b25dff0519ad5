// TNdsDataSet: construction, destruction, the process-wide dataset registry,
// the framework's close step and the version text.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

// The registry lives from the first construction to the program's end; it
// is never freed before, so datasets destroyed during static destruction
// still find it.
struct DataSetRegistry {
  std::mutex lock;
  std::vector<TNdsDataSet*> dataSets;
};

std::atomic<DataSetRegistry*> g_registry{nullptr};

DataSetRegistry& Registry() {
  static DataSetRegistry* const registry = [] {
    auto* r = new DataSetRegistry;
    g_registry.store(r, std::memory_order_release);
    return r;
  }();
  return *registry;
}

// Tag, space and number: the getter drops the first nine characters.
constexpr const char kStoredVersionText[] = "NdsData: 8.10";

}  // namespace

bool DataSetRegistryExists() {
  return g_registry.load(std::memory_order_acquire) != nullptr;
}

void WithDataSetRegistry(const std::function<void(const std::vector<TNdsDataSet*>&)>& visit) {
  if (!DataSetRegistryExists()) return;
  DataSetRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  visit(registry.dataSets);
}

TNdsDataSet::TNdsDataSet(dataset::TComponent* owner)
    : dataset::TDataSet(owner),
      engineFields_(std::make_unique<TNCEFieldDefs>(nullptr)),
      masterLink_(std::make_unique<dataset::TMasterDataLink>(this)),
      tableOptions_(std::make_unique<TNdsTableOptions>(*this)),
      indexFiles_(std::make_unique<TNdsIndexFiles>(this)) {
  masterLink_->OnMasterChange = [this] { MasterChanged(); };
  masterLink_->OnMasterDisable = [this] { MasterDisabled(); };
  DataSetRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  registry.dataSets.push_back(this);
}

TNdsDataSet::~TNdsDataSet() {
  if (connection_ != nullptr) {
    connection_->UnregisterDataSet(this);
    connection_ = nullptr;
  }
  // Closed here, while this class's close step can still run; as in the
  // framework's own destruction, no close events fire.
  BeforeClose = nullptr;
  AfterClose = nullptr;
  try {
    Close();
  } catch (const dataset::Exception&) {
    // The close step itself never raises; a destructor cannot report.
  }
  DataSetRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto& list = registry.dataSets;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TNdsDataSet::CloseEngineCursor() {
  if (IsDesigning()) {
    NdsCacheOpenTables(0);
    NdsCacheOpenCursors(0);
  }
  BindFields(false);
  keyBuffers_.Free();
  oldRecordImage_.clear();
  if (tableHandle_ != kNoHandle) {
    // The dataset is closed regardless of the engine's answer.
    NdsCloseTable(tableHandle_);
  }
  tableHandle_ = kNoHandle;
  activeOrderHandle_ = kNoHandle;
  canModify_ = false;
  // The next open decides again how the table is shared.
  exclusive_ = false;
}

std::string TNdsDataSet::Version() const {
  std::uint32_t major = 0, minor = 0;
  char letter = ' ';
  std::uint16_t descriptionLength = 0;
  CheckEngineCode(const_cast<TNdsDataSet*>(this),
                  NdsGetVersion(&major, &minor, &letter, nullptr, &descriptionLength));
  std::string text = std::string(kStoredVersionText).substr(9);
  char engine[48];
  std::snprintf(engine, sizeof engine, "NCE %u.%s%u", major, minor < 10 ? "0" : "", minor);
  text += " (";
  text += engine;
  if (letter != ' ' && letter != '\0') text += letter;
  text += ")";
  return text;
}

}  // namespace nds
