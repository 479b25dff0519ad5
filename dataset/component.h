// The root of the framework's class tree: TObject, TPersistent (objects that
// can copy each other and take part in stored descriptions) and TComponent
// (named objects in an ownership tree, told when their peers go away).
#ifndef DATASET_COMPONENT_H
#define DATASET_COMPONENT_H

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "dataset/set.h"
#include "dataset/text.h"

namespace dataset {

class TFiler;  // dataset/streaming.h

// The base of every framework class. Not copyable: framework objects have
// identity (owners, references and notifications point at them).
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  // The name of the object's most derived class without its namespace
  // ("TStringList"); the class registry and messages use it.
  std::string ClassName() const;
};

// The name of a C++ class without its namespaces ("TStringList").
std::string TypeClassName(const std::type_info& type);

// An event handler that receives only its sender.
using TNotifyEvent = std::function<void(TObject* sender)>;

// The name of an event type as messages of stored descriptions give it
// ("TNotifyEvent"). Every event type that a class publishes names itself
// with a specialisation next to its declaration; a published event of an
// unnamed type does not compile.
template <class Event>
struct TEventTypeName;
template <>
struct TEventTypeName<TNotifyEvent> {
  static constexpr const char* value = "TNotifyEvent";
};

// A handler that a root component offers for an event reference of a
// stored description (FindMethod). It holds one std::function of the
// event's own type: an event property takes it only when the types agree,
// so a filter handler never lands in a notify event.
class TMethod {
 public:
  TMethod() = default;
  // Implicit, so that FindMethod can return a typed handler as it is.
  template <class R, class... Args>
  TMethod(std::function<R(Args...)> handler)  // NOLINT(google-explicit-constructor)
      : assigned_(static_cast<bool>(handler)), handler_(std::move(handler)) {}
  // A callable taking only the sender is a notify event.
  template <class F>
  requires(!std::is_same_v<std::decay_t<F>, TMethod> && std::is_invocable_r_v<void, F&, TObject*>)
      TMethod(F handler)  // NOLINT(google-explicit-constructor)
      : TMethod(TNotifyEvent(std::move(handler))) {}

  explicit operator bool() const { return assigned_; }
  // The handler as an `Event`; null when it holds another type or none.
  template <class Event>
  const Event* As() const {
    return std::any_cast<Event>(&handler_);
  }

 private:
  bool assigned_ = false;  // holds a callable handler
  std::any handler_;       // a std::function of the event's type
};

// An object that can take the contents of another (Assign) and store extra
// properties in a stored description (DefineProperties).
class TPersistent : public TObject {
 public:
  // Copies the contents of `source` into this object. A class that cannot
  // take `source` lets `source` try (AssignTo); when neither can, raises
  // EConvertError "Cannot assign a <source class> to a <this class>".
  // A null source raises "Cannot assign a nil to a <this class>".
  virtual void Assign(const TPersistent* source);

  // Declares the properties a class stores in its description besides its
  // published ones (see TFiler). The default declares none.
  virtual void DefineProperties(TFiler& filer);

  // The object this one belongs to, used to build names such as
  // "Form1.NdsQuery1.SQL"; none by default.
  virtual TPersistent* GetOwner() const { return nullptr; }

  // Dotted path of names from the root owner down to this object.
  virtual std::string GetNamePath() const;

 protected:
  // Copies this object into `dest`; called by dest->Assign(this) when dest
  // does not know this class. The default raises the assign error.
  virtual void AssignTo(TPersistent* dest) const;
};

// What happened to a component that a Notification reports.
enum TOperation { opInsert, opRemove };

// Component state flags.
enum TComponentStateFlag {
  csLoading,           // being read from a stored description; cleared by Loaded()
  csReading,           // its properties are being read right now
  csWriting,           // being written to a stored description
  csDestroying,        // its destruction has begun
  csDesigning,         // in design mode
  csAncestor,          // belongs to an inherited description
  csUpdating,          // between Updating() and Updated()
  csFixups,            // has references not yet resolved by the reader
  csFreeNotification,  // has free-notification links
  csInline,            // read from an inline block
};
using TComponentState = TSet<TComponentStateFlag>;

// A named object owned by another component. The owner destroys every
// component it owns; any component may be destroyed directly with delete,
// which removes it from its owner. Components that keep a pointer to a
// component outside their owner call FreeNotification so that Notification
// tells them when it is destroyed; siblings hear of each other's removal
// through their common owner.
class TComponent : public TPersistent {
 public:
  // `owner` may be null; a non-null owner takes ownership at once.
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  // Ownership.
  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // Raises EListError "List index out of bounds (i)" for a bad index.
  TComponent* Components(int index) const;
  // Position in the owner's list, -1 without owner.
  int ComponentIndex() const;
  // The owned component of that name (case-insensitive), or null.
  TComponent* FindComponent(const std::string& name) const;
  // Takes ownership of `component` (removing it from its former owner).
  // Raises EComponentError when its name is already taken here.
  void InsertComponent(TComponent* component);
  // Gives up ownership of `component` without destroying it.
  void RemoveComponent(TComponent* component);
  // Destroys every owned component, the last created first. A derived class
  // whose owned components use its own members calls this first in its
  // destructor.
  void DestroyComponents();

  // Name: empty or an identifier (a letter or underscore, then letters,
  // digits or underscores), unique among the owner's components ignoring
  // letter case. Refusals raise EComponentError with "'x' is not a valid
  // component name" or "A component named x already exists".
  const std::string& Name() const { return name_; }
  virtual void SetName(const std::string& name);

  int64_t Tag() const { return tag_; }
  void SetTag(int64_t tag) { tag_ = tag; }

  // State.
  TComponentState ComponentState() const { return state_; }
  bool IsLoading() const { return state_.Contains(csLoading); }
  bool IsReading() const { return state_.Contains(csReading); }
  bool IsDesigning() const { return state_.Contains(csDesigning); }
  bool IsDestroying() const { return state_.Contains(csDestroying); }
  // Design mode for this component and, when `children`, all it owns.
  void SetDesigning(bool designing, bool children = true);
  // Enters the loading state; the reader calls it for every component it
  // creates, Loaded() leaves it.
  void Loading() { state_.Include(csLoading); }
  // Leaves the loading and reading states without the after-loading step
  // (the reader calls it when a read fails).
  void CancelLoading() {
    state_.Exclude(csLoading);
    state_.Exclude(csReading);
  }
  void SetReading(bool reading);
  void SetWriting(bool writing);
  void SetFixups(bool pending);
  void SetInline(bool value);
  void SetAncestor(bool value);
  // The after-loading step, run by the reader on every component it created,
  // in creation order, once the whole description is read and every reference
  // resolved. Overrides call TComponent::Loaded() first.
  virtual void Loaded();
  void Updating() { state_.Include(csUpdating); }
  void Updated() { state_.Exclude(csUpdating); }
  // Marks this component and everything it owns as being destroyed.
  void Destroying();

  // Removal notification. FreeNotification(c) links the two components so
  // that each hears of the other's destruction; RemoveFreeNotification
  // breaks the link.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);
  // Called when `component` is inserted into or removed from this
  // component's owner tree, or when a linked component is destroyed.
  // The default forwards the notification to every owned component;
  // overrides clear their references and call TComponent::Notification.
  virtual void Notification(TComponent* component, TOperation operation);

  // The components written inside this one's block of a stored
  // description; the default is every owned component, in order, whose
  // parent component is none or this one.
  virtual void GetChildren(const std::function<void(TComponent*)>& proc) const;
  // The component whose block holds this one in a stored description (a
  // control's parent). The reader calls SetParentComponent with the
  // component of the enclosing block; the defaults keep none.
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* parent);

  // Event handlers of a stored description are named methods of the root
  // component (the form): the reader asks the root for the handler of each
  // name it meets, of whatever event type. The default knows none and
  // returns an empty handler.
  virtual TMethod FindMethod(const std::string& name);

  // The name of the handler a stored description assigned to `event`
  // ("AfterOpen", ...), so that writing the description names it again;
  // empty when none was.
  std::string EventHandlerName(const std::string& event) const;
  void SetEventHandlerName(const std::string& event, const std::string& handler);

  // Design position of a component that has no window of its own: Left in
  // the low 16 bits, Top in the high 16 bits. Stored descriptions keep it as
  // "Left" and "Top" (written when not 0); it has no run-time meaning.
  int32_t DesignInfo() const { return design_info_; }
  void SetDesignInfo(int32_t value) { design_info_ = value; }
  void DefineProperties(TFiler& filer) override;

  TPersistent* GetOwner() const override { return owner_; }
  std::string GetNamePath() const override { return name_; }

 protected:
  // Checks `new_name` for `component` (owned here) before a rename.
  void ValidateRename(TComponent* component, const std::string& current_name,
                      const std::string& new_name) const;

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);
  void RemoveFreeNotifications();

  TComponent* owner_ = nullptr;             // Destroys this component; may be null
  std::vector<TComponent*> components_;     // Owned, in creation order
  std::vector<TComponent*> free_notifies_;  // Linked by FreeNotification, not owned
  std::string name_;                        // Empty or a valid identifier
  TComponentState state_;
  int64_t tag_ = 0;                                   // Free for the application
  int32_t design_info_ = 0;                           // Design position, see DesignInfo
  std::map<std::string, std::string> handler_names_;  // event -> stored handler name
};

}  // namespace dataset

#endif  // DATASET_COMPONENT_H
