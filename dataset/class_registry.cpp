#include "dataset/class_registry.h"

#include <mutex>

#include "dataset/exceptions.h"
#include "dataset/streaming.h"
#include "dataset/text.h"

namespace dataset {

namespace {

// Registrations chained through `parent` deeper than this are refused as
// cycles.
constexpr int kMaxClassDepth = 64;

struct Registry {
  std::mutex mutex;
  std::vector<std::shared_ptr<TClassInfo>> classes;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();  // lives to the end of the program
  return *registry;
}

void EnsureFramework() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterFrameworkClasses(); });
}

std::shared_ptr<const TClassInfo> ByType(std::type_index type) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (auto& c : r.classes)
    if (c->type == type) return c;
  return nullptr;
}

int Depth(const TClassInfo& info) {
  int depth = 0;
  std::optional<std::type_index> parent = info.parent;
  while (parent && depth < kMaxClassDepth) {
    auto p = ByType(*parent);
    if (!p) break;
    parent = p->parent;
    ++depth;
  }
  return depth;
}

}  // namespace

namespace detail {

void AddClass(std::shared_ptr<TClassInfo> info) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (auto& c : r.classes) {
    if (SameText(c->name, info->name) || c->type == info->type) {
      c = std::move(info);
      return;
    }
  }
  r.classes.push_back(std::move(info));
}

void ThrowWrongComponentClass(const std::string& expected_class, const TComponent& c) {
  throw EReadError((c.Name().empty() ? c.ClassName() : c.Name()) + " is not a " + expected_class);
}

void ThrowWrongMethodType(const std::string& method, const char* event_type) {
  throw EReadError("Method '" + method + "' is not a " + event_type);
}

}  // namespace detail

std::shared_ptr<const TClassInfo> GetClass(const std::string& name) {
  EnsureFramework();
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (auto& c : r.classes)
    if (SameText(c->name, name)) return c;
  return nullptr;
}

std::shared_ptr<const TClassInfo> FindClass(const std::string& name) {
  auto info = GetClass(name);
  if (!info) throw EClassNotFound("Class " + name + " not found");
  return info;
}

std::shared_ptr<const TClassInfo> ClassInfoOf(const TPersistent& object) {
  EnsureFramework();
  std::vector<std::shared_ptr<TClassInfo>> all;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    all = r.classes;
  }
  std::type_index type = typeid(object);
  std::shared_ptr<const TClassInfo> best;
  int best_depth = -1;
  for (auto& c : all) {
    if (c->type == type) return c;
    if (c->is_instance && c->is_instance(object)) {
      int d = Depth(*c);
      if (d > best_depth) {
        best = c;
        best_depth = d;
      }
    }
  }
  return best;
}

const TPropInfo* FindProperty(const TClassInfo& info, const std::string& name) {
  const TClassInfo* current = &info;
  std::shared_ptr<const TClassInfo> hold;
  for (int depth = 0; current && depth <= kMaxClassDepth; ++depth) {
    for (const TPropInfo& p : current->properties)
      if (SameText(p.name, name)) return &p;
    if (!current->parent) break;
    hold = ByType(*current->parent);
    current = hold.get();
  }
  return nullptr;
}

std::vector<const TPropInfo*> AllProperties(const TClassInfo& info) {
  std::vector<std::shared_ptr<const TClassInfo>> chain;
  std::optional<std::type_index> parent = info.parent;
  while (parent && chain.size() < static_cast<size_t>(kMaxClassDepth)) {
    auto p = ByType(*parent);
    if (!p) break;
    chain.push_back(p);
    parent = p->parent;
  }
  std::vector<const TClassInfo*> root_first;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) root_first.push_back(it->get());
  root_first.push_back(&info);
  // A property a class publishes again moves from its ancestor's place to
  // the class's own.
  std::vector<const TPropInfo*> out;
  for (const TClassInfo* c : root_first) {
    for (const TPropInfo& p : c->properties) {
      std::erase_if(out,
                    [&p](const TPropInfo* earlier) { return SameText(earlier->name, p.name); });
      out.push_back(&p);
    }
  }
  return out;
}

void UnregisterClass(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (auto it = r.classes.begin(); it != r.classes.end(); ++it) {
    if (SameText((*it)->name, name)) {
      r.classes.erase(it);
      return;
    }
  }
}

}  // namespace dataset
