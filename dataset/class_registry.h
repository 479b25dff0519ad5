// The class registry and property tables of stored descriptions.
//
// Every class that appears in a stored description is registered once,
// before the first description is read, with its name, its parent class and
// the table of its published properties:
//
//   RegisterClass<TNdsQuery, TNdsDataSet>("TNdsQuery")
//       .Boolean("RequestLive", &TNdsQuery::RequestLive, &TNdsQuery::SetRequestLive, false)
//       .Object("SQL", [](TNdsQuery& q) { return q.SQL(); })
//       .Component<TNdsConnection>("NdsConnection", &TNdsQuery::NdsConnection,
//                                  &TNdsQuery::SetNdsConnection)
//       .EventMember("AfterOpen", &TDataSet::AfterOpen);
//
// Getters and setters are member functions or callables taking the object.
// A property is written when its stored rule (if any) allows it and its
// value differs from its default (if it has one). Properties of the parent
// class come first, unless the class publishes one of them again: the
// property then takes its place among the class's own (a subclass sets
// its published order). Registration is not synchronised with reading on other
// threads: register at start-up.
#ifndef DATASET_CLASS_REGISTRY_H
#define DATASET_CLASS_REGISTRY_H

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <typeindex>
#include <utility>
#include <vector>

#include "dataset/component.h"
#include "dataset/set.h"
#include "dataset/variant.h"

namespace dataset {

enum TPropKind {
  pkInteger,    // 64-bit integer
  pkFloat,      // double
  pkBoolean,    // True / False
  pkString,     // 8-bit text
  pkEnum,       // one identifier of a list of names
  pkSet,        // [names], a bit mask over a list of names
  pkComponent,  // a reference to another component, by name
  pkObject,     // a nested persistent object (dotted names), a collection or a string list
  pkMethod,     // an event handler of any event type, by the name of a method of the root
  pkVariant,    // a Variant
  pkBinary,     // raw bytes as { hex }
};

// One published property. The accessors take the object as TPersistent and
// are set for the property's kind only.
struct TPropInfo {
  std::string name;
  TPropKind kind = pkInteger;
  std::vector<std::string> names;  // pkEnum, pkSet: member names by ordinal

  std::function<int64_t(const TPersistent&)> get_ordinal;  // integer, boolean, enum, set mask
  std::function<void(TPersistent&, int64_t)> set_ordinal;
  std::function<double(const TPersistent&)> get_float;
  std::function<void(TPersistent&, double)> set_float;
  std::function<std::string(const TPersistent&)>
      get_string;  // pkString; pkMethod: the handler's name
  std::function<void(TPersistent&, const std::string&)> set_string;
  std::function<TComponent*(const TPersistent&)> get_component;
  // Raises EReadError when the component is not of the property's class.
  std::function<void(TPersistent&, TComponent*)> set_component;
  std::function<TPersistent*(TPersistent&)> get_object;
  // pkMethod: the handler's name and the handler the root offers for it;
  // raises EReadError when the handler is not of the event's type.
  std::function<void(TPersistent&, const std::string&, const TMethod&)> set_method;
  std::function<Variant(const TPersistent&)> get_variant;
  std::function<void(TPersistent&, const Variant&)> set_variant;
  std::function<TBytes(const TPersistent&)> get_bytes;
  std::function<void(TPersistent&, const TBytes&)> set_bytes;

  // Null: always stored.
  std::function<bool(const TPersistent&)> stored;
  std::optional<int64_t> default_ordinal;
  std::optional<double> default_float;
  std::optional<std::string> default_string;
};

// A registered class.
struct TClassInfo {
  std::string name;
  std::type_index type = typeid(void);
  std::optional<std::type_index> parent;  // Registered parent class, if any
  // Creates an instance owned by `owner`; null for classes that are not
  // components (their instances are made by their owners).
  std::function<TComponent*(TComponent* owner)> create;
  // True when the object is of this class or derived from it.
  std::function<bool(const TPersistent&)> is_instance;
  std::vector<TPropInfo> properties;  // This class's own, in registration order
};

// --- Lookups ----------------------------------------------------------------

// The class registered under `name` (case-insensitive), or null.
std::shared_ptr<const TClassInfo> GetClass(const std::string& name);
// As GetClass; raises EClassNotFound "Class <name> not found" when missing.
std::shared_ptr<const TClassInfo> FindClass(const std::string& name);
// The registered class of `object`: its own class when registered, else
// its nearest registered ancestor; null when none is registered.
std::shared_ptr<const TClassInfo> ClassInfoOf(const TPersistent& object);
// The published property `name` (case-insensitive) of `info` or its
// registered ancestors; null when there is none.
const TPropInfo* FindProperty(const TClassInfo& info, const std::string& name);
// Every published property of `info`, the ancestors' first.
std::vector<const TPropInfo*> AllProperties(const TClassInfo& info);
// Removes a class from the registry (tests use it).
void UnregisterClass(const std::string& name);

// --- Registration -----------------------------------------------------------

namespace detail {
void AddClass(std::shared_ptr<TClassInfo> info);
// Raises EReadError "<c's name> is not a <expected_class>".
[[noreturn]] void ThrowWrongComponentClass(const std::string& expected_class, const TComponent& c);
// Raises EReadError "Method '<method>' is not a <event_type>".
[[noreturn]] void ThrowWrongMethodType(const std::string& method, const char* event_type);
}  // namespace detail

// Adds properties to a registered class; returned by RegisterClass.
template <class C>
class TClassBuilder {
 public:
  using Stored = std::function<bool(const C&)>;

  explicit TClassBuilder(std::shared_ptr<TClassInfo> info) : info_(std::move(info)) {}

  template <class G, class S>
  TClassBuilder& Integer(std::string name, G get, S set, std::optional<int64_t> def = std::nullopt,
                         Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkInteger, std::move(stored));
    p.get_ordinal = [get](const TPersistent& o) {
      return static_cast<int64_t>(std::invoke(get, Self(o)));
    };
    p.set_ordinal = [set](TPersistent& o, int64_t v) { std::invoke(set, Self(o), v); };
    p.default_ordinal = def;
    return Add(std::move(p));
  }

  template <class G, class S>
  TClassBuilder& Float(std::string name, G get, S set, std::optional<double> def = std::nullopt,
                       Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkFloat, std::move(stored));
    p.get_float = [get](const TPersistent& o) {
      return static_cast<double>(std::invoke(get, Self(o)));
    };
    p.set_float = [set](TPersistent& o, double v) { std::invoke(set, Self(o), v); };
    p.default_float = def;
    return Add(std::move(p));
  }

  template <class G, class S>
  TClassBuilder& Boolean(std::string name, G get, S set, std::optional<bool> def = std::nullopt,
                         Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkBoolean, std::move(stored));
    p.get_ordinal = [get](const TPersistent& o) {
      return int64_t{std::invoke(get, Self(o)) ? 1 : 0};
    };
    p.set_ordinal = [set](TPersistent& o, int64_t v) { std::invoke(set, Self(o), v != 0); };
    if (def) p.default_ordinal = *def ? 1 : 0;
    return Add(std::move(p));
  }

  // Strings equal to the default (empty unless given) are not written.
  template <class G, class S>
  TClassBuilder& String(std::string name, G get, S set,
                        std::optional<std::string> def = std::string(), Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkString, std::move(stored));
    p.get_string = [get](const TPersistent& o) { return std::string(std::invoke(get, Self(o))); };
    p.set_string = [set](TPersistent& o, const std::string& v) { std::invoke(set, Self(o), v); };
    p.default_string = std::move(def);
    return Add(std::move(p));
  }

  // `names` lists the enumeration's members by ordinal value.
  template <class E, class G, class S>
  TClassBuilder& Enum(std::string name, G get, S set, std::vector<std::string> names,
                      std::optional<E> def = std::nullopt, Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkEnum, std::move(stored));
    p.names = std::move(names);
    p.get_ordinal = [get](const TPersistent& o) {
      return static_cast<int64_t>(std::invoke(get, Self(o)));
    };
    p.set_ordinal = [set](TPersistent& o, int64_t v) {
      std::invoke(set, Self(o), static_cast<E>(v));
    };
    if (def) p.default_ordinal = static_cast<int64_t>(*def);
    return Add(std::move(p));
  }

  // A TSet<E> property; `names` lists E's members by ordinal value.
  template <class E, class G, class S>
  TClassBuilder& Set(std::string name, G get, S set, std::vector<std::string> names,
                     std::optional<TSet<E>> def = TSet<E>(), Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkSet, std::move(stored));
    p.names = std::move(names);
    p.get_ordinal = [get](const TPersistent& o) {
      return static_cast<int64_t>(TSet<E>(std::invoke(get, Self(o))).Mask());
    };
    p.set_ordinal = [set](TPersistent& o, int64_t v) {
      std::invoke(set, Self(o), TSet<E>::FromMask(static_cast<uint64_t>(v)));
    };
    if (def) p.default_ordinal = static_cast<int64_t>(def->Mask());
    return Add(std::move(p));
  }

  // A reference to a component of class T (or derived). Not written when
  // none is assigned.
  template <class T, class G, class S>
  TClassBuilder& Component(std::string name, G get, S set, Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkComponent, std::move(stored));
    p.get_component = [get](const TPersistent& o) -> TComponent* {
      return std::invoke(get, Self(o));
    };
    p.set_component = [set](TPersistent& o, TComponent* c) {
      T* typed = dynamic_cast<T*>(c);
      if (c && !typed) detail::ThrowWrongComponentClass(TypeClassName(typeid(T)), *c);
      std::invoke(set, Self(o), typed);
    };
    return Add(std::move(p));
  }

  // A nested object the instance owns: its properties are read and written
  // with dotted names ("Font.Name"); a collection is written as <...>, a
  // string list through its "Strings" property.
  template <class G>
  TClassBuilder& Object(std::string name, G get, Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkObject, std::move(stored));
    p.get_object = [get](TPersistent& o) -> TPersistent* { return std::invoke(get, Self(o)); };
    return Add(std::move(p));
  }

  // An event handler of type E (TNotifyEvent unless given) stored by name.
  // `get_name` returns the name of the handler assigned (empty for none);
  // `set` receives the name and the handler the root component's FindMethod
  // offers for it (empty for nil). A handler of another type is refused.
  template <class E = TNotifyEvent, class G, class S>
  TClassBuilder& Event(std::string name, G get_name, S set, Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkMethod, std::move(stored));
    p.get_string = [get_name](const TPersistent& o) {
      return std::string(std::invoke(get_name, Self(o)));
    };
    p.set_method = [set](TPersistent& o, const std::string& n, const TMethod& method) {
      E handler;
      if (method) {
        const E* typed = method.template As<E>();
        if (!typed) detail::ThrowWrongMethodType(n, TEventTypeName<E>::value);
        handler = *typed;
      }
      std::invoke(set, Self(o), n, std::move(handler));
    };
    return Add(std::move(p));
  }

  // An event held in a public member of a component class: the handler a
  // description names goes into the member and its name is kept on the
  // component (TComponent::EventHandlerName). The name is written only
  // while the member holds a handler, so clearing it in code drops it.
  template <class E, class Owner>
  TClassBuilder& EventMember(const std::string& name, E Owner::*member, Stored stored = {}) {
    static_assert(std::is_base_of_v<TComponent, C>, "event names are kept on components");
    return Event<E>(
        name,
        [name, member](const C& c) { return c.*member ? c.EventHandlerName(name) : std::string(); },
        [name, member](C& c, const std::string& handler, E event) {
          c.*member = std::move(event);
          c.SetEventHandlerName(name, c.*member ? handler : std::string());
        },
        std::move(stored));
  }

  // Empty values are not written.
  template <class G, class S>
  TClassBuilder& VariantValue(std::string name, G get, S set, Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkVariant, std::move(stored));
    p.get_variant = [get](const TPersistent& o) { return Variant(std::invoke(get, Self(o))); };
    p.set_variant = [set](TPersistent& o, const Variant& v) { std::invoke(set, Self(o), v); };
    return Add(std::move(p));
  }

  // Empty byte strings are not written.
  template <class G, class S>
  TClassBuilder& Binary(std::string name, G get, S set, Stored stored = {}) {
    TPropInfo p = Base(std::move(name), pkBinary, std::move(stored));
    p.get_bytes = [get](const TPersistent& o) { return TBytes(std::invoke(get, Self(o))); };
    p.set_bytes = [set](TPersistent& o, const TBytes& v) { std::invoke(set, Self(o), v); };
    return Add(std::move(p));
  }

 private:
  static C& Self(TPersistent& o) { return static_cast<C&>(o); }
  static const C& Self(const TPersistent& o) { return static_cast<const C&>(o); }

  TPropInfo Base(std::string name, TPropKind kind, Stored stored) {
    TPropInfo p;
    p.name = std::move(name);
    p.kind = kind;
    if (stored) p.stored = [stored](const TPersistent& o) { return stored(Self(o)); };
    return p;
  }

  TClassBuilder& Add(TPropInfo p) {
    info_->properties.push_back(std::move(p));
    return *this;
  }

  std::shared_ptr<TClassInfo> info_;
};

// Registers class C under `name` (its class name when empty), derived from
// the registered class Parent (void: none). Registering a name again
// replaces the earlier entry. Component classes (constructible from an
// owner) can then be created by the reader.
template <class C, class Parent = void>
TClassBuilder<C> RegisterClass(const std::string& name = std::string()) {
  static_assert(std::is_base_of_v<TPersistent, C>, "registered classes derive from TPersistent");
  auto info = std::make_shared<TClassInfo>();
  info->type = typeid(C);
  if constexpr (!std::is_void_v<Parent>) {
    static_assert(std::is_base_of_v<Parent, C>, "Parent must be a base of C");
    info->parent = std::type_index(typeid(Parent));
  }
  if constexpr (std::is_base_of_v<TComponent, C> && std::is_constructible_v<C, TComponent*> &&
                !std::is_abstract_v<C>) {
    info->create = [](TComponent* owner) -> TComponent* { return new C(owner); };
  }
  info->is_instance = [](const TPersistent& o) {
    if constexpr (std::is_same_v<C, TPersistent>) {
      return true;
    } else {
      return dynamic_cast<const C*>(&o) != nullptr;
    }
  };
  info->name = name.empty() ? TypeClassName(typeid(C)) : name;
  detail::AddClass(info);
  return TClassBuilder<C>(info);
}

}  // namespace dataset

#endif  // DATASET_CLASS_REGISTRY_H
