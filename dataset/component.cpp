#include "dataset/component.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "dataset/exceptions.h"
#include "dataset/filer.h"

namespace dataset {

// --- TObject ---------------------------------------------------------------

std::string TObject::ClassName() const {
  return TypeClassName(typeid(*this));
}

std::string TypeClassName(const std::type_info& type) {
  const char* mangled = type.name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  std::string name = (status == 0 && demangled) ? demangled.get() : mangled;
  // Drop namespaces but keep template arguments intact.
  size_t cut = 0;
  int depth = 0;
  for (size_t i = 0; i + 1 < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    if (name[i] == '>') --depth;
    if (depth == 0 && name[i] == ':' && name[i + 1] == ':') cut = i + 2;
  }
  return name.substr(cut);
}

// --- TPersistent -----------------------------------------------------------

void TPersistent::Assign(const TPersistent* source) {
  if (source == nullptr) throw EConvertError("Cannot assign a nil to a " + ClassName());
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + dest->ClassName());
}

void TPersistent::DefineProperties(TFiler&) {}

std::string TPersistent::GetNamePath() const {
  TPersistent* owner = GetOwner();
  std::string owner_path = owner ? owner->GetNamePath() : std::string();
  return owner_path.empty() ? ClassName() : owner_path + "." + ClassName();
}

// --- TComponent ------------------------------------------------------------

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  RemoveFreeNotifications();
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return components_[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  auto& list = owner_->components_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component == nullptr) return;
  if (component->owner_ == this) return;
  ValidateRename(component, std::string(), component->name_);
  if (component->owner_) component->owner_->RemoveComponent(component);
  Insert(component);
  if (IsDesigning()) component->SetDesigning(true);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component == nullptr || component->owner_ != this) return;
  Remove(component);
  Notification(component, opRemove);
}

void TComponent::DestroyComponents() {
  // Each destructor removes its component from this list and tells the
  // remaining siblings, so none of them keeps a dangling reference.
  while (!components_.empty()) delete components_.back();
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
}

void TComponent::Remove(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end()) components_.erase(it);
  component->owner_ = nullptr;
}

void TComponent::ValidateRename(TComponent* component, const std::string& current_name,
                                const std::string& new_name) const {
  if (new_name.empty() || SameText(current_name, new_name)) return;
  TComponent* other = FindComponent(new_name);
  if (other != nullptr && other != component)
    throw EComponentError("A component named " + new_name + " already exists");
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError("'" + name + "' is not a valid component name");
  if (owner_) owner_->ValidateRename(this, name_, name);
  name_ = name;
}

void TComponent::SetDesigning(bool designing, bool children) {
  if (designing)
    state_.Include(csDesigning);
  else
    state_.Exclude(csDesigning);
  if (children)
    for (TComponent* c : components_) c->SetDesigning(designing, true);
}

void TComponent::SetReading(bool reading) {
  reading ? state_.Include(csReading) : state_.Exclude(csReading);
}

void TComponent::SetWriting(bool writing) {
  writing ? state_.Include(csWriting) : state_.Exclude(csWriting);
}

void TComponent::SetFixups(bool pending) {
  pending ? state_.Include(csFixups) : state_.Exclude(csFixups);
}

void TComponent::SetInline(bool value) {
  value ? state_.Include(csInline) : state_.Exclude(csInline);
}

void TComponent::SetAncestor(bool value) {
  value ? state_.Include(csAncestor) : state_.Exclude(csAncestor);
}

void TComponent::Loaded() {
  state_.Exclude(csLoading);
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), component) == free_notifies_.end())
    free_notifies_.push_back(component);
  auto& theirs = component->free_notifies_;
  if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
  state_.Include(csFreeNotification);
  component->state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr) return;
  auto drop = [](std::vector<TComponent*>& list, TComponent* c) {
    list.erase(std::remove(list.begin(), list.end(), c), list.end());
  };
  drop(free_notifies_, component);
  drop(component->free_notifies_, this);
  if (free_notifies_.empty()) state_.Exclude(csFreeNotification);
  if (component->free_notifies_.empty()) component->state_.Exclude(csFreeNotification);
}

void TComponent::RemoveFreeNotifications() {
  // The link is broken before the peer hears of it, so an override that
  // does not call the base class cannot make this loop forever.
  while (!free_notifies_.empty()) {
    TComponent* peer = free_notifies_.back();
    RemoveFreeNotification(peer);
    peer->Notification(this, opRemove);
  }
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) RemoveFreeNotification(component);
  // A handler may destroy components; re-check the bound on every step.
  for (size_t i = components_.size(); i-- > 0;) {
    if (i >= components_.size()) continue;
    TComponent* c = components_[i];
    if (c != component) c->Notification(component, operation);
  }
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc) const {
  for (TComponent* c : components_) {
    TComponent* parent = c->GetParentComponent();
    if (parent == nullptr || parent == this) proc(c);
  }
}

void TComponent::SetParentComponent(TComponent*) {}

TMethod TComponent::FindMethod(const std::string&) {
  return {};
}

std::string TComponent::EventHandlerName(const std::string& event) const {
  const auto it = handler_names_.find(event);
  return it == handler_names_.end() ? std::string() : it->second;
}

void TComponent::SetEventHandlerName(const std::string& event, const std::string& handler) {
  if (handler.empty())
    handler_names_.erase(event);
  else
    handler_names_[event] = handler;
}

// "Left" and "Top" of the design position, as 16-bit halves of DesignInfo.
void TComponent::DefineProperties(TFiler& filer) {
  TPersistent::DefineProperties(filer);
  auto half = [this](int shift) {
    return static_cast<int16_t>(static_cast<uint32_t>(design_info_) >> shift);
  };
  auto set_half = [this](int shift, int64_t value) {
    const uint32_t others = static_cast<uint32_t>(design_info_) & ~(0xFFFFu << shift);
    design_info_ =
        static_cast<int32_t>(others | ((static_cast<uint32_t>(value) & 0xFFFFu) << shift));
  };
  filer.DefineProperty(
      "Left", [set_half](TReader& r) { set_half(0, r.ReadInteger()); },
      [half](TWriter& w) { w.WriteInteger(half(0)); }, half(0) != 0);
  filer.DefineProperty(
      "Top", [set_half](TReader& r) { set_half(16, r.ReadInteger()); },
      [half](TWriter& w) { w.WriteInteger(half(16)); }, half(16) != 0);
}

}  // namespace dataset
