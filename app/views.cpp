#include "app/views.h"

#include <atomic>

namespace app {

namespace {

std::atomic<ViewProvider*> current_provider{nullptr};

}  // namespace

void SetViewProvider(ViewProvider* provider) {
  current_provider.store(provider);
}

ViewProvider* CurrentViewProvider() {
  return current_provider.load();
}

BusyIndicator::BusyIndicator() : provider_(CurrentViewProvider()) {
  if (provider_ != nullptr) provider_->SetBusy(true);
}

BusyIndicator::~BusyIndicator() {
  if (provider_ != nullptr) provider_->SetBusy(false);
}

}  // namespace app
