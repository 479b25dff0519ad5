// Reads stored descriptions into components (streaming.h) and carries the
// value reading of TReader (filer.h).
#include <exception>

#include "dataset/collection.h"
#include "dataset/description_text.h"
#include "dataset/exceptions.h"
#include "dataset/stream.h"
#include "dataset/streaming.h"
#include "dataset/text.h"

namespace dataset {

namespace {

bool HasLinePrefix(const std::string& message) {
  return message.rfind("Line ", 0) == 0;
}

std::string LinePrefix(int line) {
  return "Line " + std::to_string(line) + ": ";
}

// Raises EReadError for a failure while reading `what` at `line`, keeping a
// message that already names its line.
[[noreturn]] void Rethrow(int line, const std::string& what) {
  try {
    throw;
  } catch (const EReadError& e) {
    if (HasLinePrefix(e.Message())) throw;
    throw EReadError(LinePrefix(line) + "Error reading " + what + ": " + e.Message());
  } catch (const Exception& e) {
    throw EReadError(LinePrefix(line) + "Error reading " + what + ": " + e.Message());
  } catch (const std::exception& e) {
    throw EReadError(LinePrefix(line) + "Error reading " + what + ": " + e.what());
  }
}

std::vector<std::string> SplitDots(const std::string& name) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t dot = name.find('.', start);
    parts.push_back(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts;
}

}  // namespace

// The reading of one description: creates and names the components, applies
// published properties, hands extra stored properties to the classes'
// read procedures, and resolves references at the end.
class TDescriptionReader {
 public:
  explicit TDescriptionReader(TComponent* root) : root_(root) {
    reader_.root_ = root;
    reader_.engine_ = this;
  }

  // Reads `desc` into the root; `root_created` says whether the reader
  // made the root (then a failure destroys it).
  void Read(const TDescObject& desc, bool root_created) {
    root_created_ = root_created;
    loaded_.push_back(root_);
    if (root_created) created_.push_back(root_);
    root_->Loading();
    root_->SetReading(true);
    try {
      if (!desc.name.empty() && desc.name != root_->Name()) {
        try {
          root_->SetName(desc.name);
        } catch (...) {
          Rethrow(desc.line, "the name of " + desc.class_name);
        }
      }
      ApplyProperties(*root_, desc.properties, NameOf(root_));
      for (const TDescObject& child : desc.children) ReadChild(child, root_, 1);
      ResolveFixups();
    } catch (...) {
      Abandon();
      throw;
    }
    for (TComponent* c : loaded_) c->SetReading(false);
    RunLoaded();
  }

  void ApplyProperties(TPersistent& instance, const std::vector<TDescProperty>& properties,
                       const std::string& path) {
    for (const TDescProperty& p : properties) ApplyProperty(instance, p, path);
  }

 private:
  struct Fixup {
    TPersistent* instance;
    const TPropInfo* property;
    std::string reference;
    std::string what;  // "NdsQuery1.NdsConnection", for messages
    int line;
    // The collection items the instance lies in; the fixup is dropped when
    // one of them is destroyed before the references are resolved.
    std::vector<const TCollectionItem*> items;
  };

  static std::string NameOf(const TComponent* c) {
    return c->Name().empty() ? c->ClassName() : c->Name();
  }

  [[noreturn]] static void Fail(int line, const std::string& message) {
    throw EReadError(LinePrefix(line) + message);
  }

  void ReadChild(const TDescObject& desc, TComponent* parent, int depth) {
    auto info = GetClass(desc.class_name);
    if (!info) Fail(desc.line, "Class " + desc.class_name + " not found");
    TComponent* comp = nullptr;
    if (desc.kind != dkObject && !desc.name.empty()) comp = root_->FindComponent(desc.name);
    if (desc.kind == dkInherited && !comp)
      Fail(desc.line, "Ancestor for '" + desc.name + "' not found");
    if (comp && !info->is_instance(*comp))
      Fail(desc.line, desc.name + " is not a " + desc.class_name);
    if (!comp) {
      if (!info->create) Fail(desc.line, "Class " + desc.class_name + " cannot be created");
      try {
        comp = info->create(root_);
      } catch (...) {
        Rethrow(desc.line, desc.class_name);
      }
      created_.push_back(comp);
      comp->Loading();
      comp->SetReading(true);
      try {
        if (!desc.name.empty()) comp->SetName(desc.name);
      } catch (...) {
        Rethrow(desc.line, "the name of a " + desc.class_name);
      }
    } else {
      comp->Loading();
      comp->SetReading(true);
    }
    loaded_.push_back(comp);
    if (desc.kind == dkInline) comp->SetInline(true);
    try {
      comp->SetParentComponent(parent);
    } catch (...) {
      Rethrow(desc.line, NameOf(comp));
    }
    ApplyProperties(*comp, desc.properties, NameOf(comp));
    for (const TDescObject& child : desc.children) ReadChild(child, comp, depth + 1);
  }

  void ApplyProperty(TPersistent& instance, const TDescProperty& p, const std::string& path) {
    std::string what = path + "." + p.name;
    try {
      std::vector<std::string> parts = SplitDots(p.name);
      TPersistent* target = &instance;
      for (size_t i = 0; i + 1 < parts.size(); ++i) {
        auto info = ClassInfoOf(*target);
        const TPropInfo* prop = info ? FindProperty(*info, parts[i]) : nullptr;
        if (!prop || prop->kind != pkObject) Fail(p.line, "Property " + p.name + " does not exist");
        target = prop->get_object(*target);
        if (!target) Fail(p.line, "Property " + p.name + " does not exist");
      }
      const std::string& last = parts.back();
      auto info = ClassInfoOf(*target);
      const TPropInfo* prop = info ? FindProperty(*info, last) : nullptr;
      if (prop) {
        SetPublished(*target, *prop, p.value, what);
        return;
      }
      if (reader_.ReadDefined(*target, last, p.value)) return;
      Fail(p.line, "Property " + p.name + " does not exist");
    } catch (...) {
      Rethrow(p.line, what);
    }
  }

  static bool IsIdent(const TDescValue& v, const char* word) {
    return v.kind == dvIdent && SameText(v.text, word);
  }

  [[noreturn]] static void Invalid(const TDescValue& v) { Fail(v.line, "Invalid property value"); }

  // The name under which the root offers the handler of an event
  // reference: handlers are the root's methods, so a reference may name
  // them qualified by the root's own name ("Form1.NdsQuery1AfterOpen").
  std::string MethodName(const std::string& reference) const {
    const std::string& root_name = root_->Name();
    if (!root_name.empty() && reference.size() > root_name.size() + 1 &&
        reference[root_name.size()] == '.' &&
        SameText(reference.substr(0, root_name.size()), root_name))
      return reference.substr(root_name.size() + 1);
    return reference;
  }

  void SetPublished(TPersistent& target, const TPropInfo& prop, const TDescValue& v,
                    const std::string& what) {
    switch (prop.kind) {
      case pkInteger:
        if (v.kind != dvInteger) Invalid(v);
        prop.set_ordinal(target, v.integer);
        return;
      case pkFloat:
        if (v.kind == dvFloat)
          prop.set_float(target, v.real);
        else if (v.kind == dvInteger)
          prop.set_float(target, static_cast<double>(v.integer));
        else
          Invalid(v);
        return;
      case pkBoolean:
        if (IsIdent(v, "True"))
          prop.set_ordinal(target, 1);
        else if (IsIdent(v, "False"))
          prop.set_ordinal(target, 0);
        else
          Invalid(v);
        return;
      case pkString:
        if (v.kind != dvString) Invalid(v);
        prop.set_string(target, v.text);
        return;
      case pkEnum:
        if (v.kind != dvIdent) Invalid(v);
        for (size_t i = 0; i < prop.names.size(); ++i) {
          if (SameText(prop.names[i], v.text)) {
            prop.set_ordinal(target, static_cast<int64_t>(i));
            return;
          }
        }
        Invalid(v);
      case pkSet: {
        if (v.kind != dvSet) Invalid(v);
        uint64_t mask = 0;
        for (const std::string& m : v.members) {
          size_t i = 0;
          while (i < prop.names.size() && i < 64 && !SameText(prop.names[i], m)) ++i;
          if (i >= prop.names.size() || i >= 64) Invalid(v);
          mask |= uint64_t{1} << i;
        }
        prop.set_ordinal(target, static_cast<int64_t>(mask));
        return;
      }
      case pkComponent:
        if (v.kind != dvIdent) Invalid(v);
        if (IsIdent(v, "nil")) {
          prop.set_component(target, nullptr);
          return;
        }
        fixups_.push_back({&target, &prop, v.text, what, v.line, item_stack_});
        return;
      case pkObject: {
        TPersistent* sub = prop.get_object(target);
        TCollection* collection = dynamic_cast<TCollection*>(sub);
        if (!collection || v.kind != dvCollection) Invalid(v);
        ReadCollectionValue(*collection, v, what);
        return;
      }
      case pkMethod: {
        if (v.kind != dvIdent) Fail(v.line, "Invalid method reference");
        if (IsIdent(v, "nil")) {
          prop.set_method(target, std::string(), TMethod());
          return;
        }
        TMethod handler = root_->FindMethod(MethodName(v.text));
        if (!handler) Fail(v.line, "Method '" + v.text + "' not found");
        prop.set_method(target, v.text, handler);
        return;
      }
      case pkVariant:
        prop.set_variant(target, reader_.VariantOf(v));
        return;
      case pkBinary:
        if (v.kind != dvBinary) Invalid(v);
        prop.set_bytes(target, TBytes(v.text.begin(), v.text.end()));
        return;
    }
    Invalid(v);
  }

 public:
  // Replaces the items of `collection` with those of a collection value.
  void ReadCollectionValue(TCollection& collection, const TDescValue& v, const std::string& what) {
    if (v.kind != dvCollection) Invalid(v);
    DropFixupsInside(collection);
    collection.BeginUpdate();
    try {
      collection.Clear();
      for (size_t i = 0; i < v.items.size(); ++i) {
        TCollectionItem* item = collection.Add();
        item_stack_.push_back(item);
        ApplyProperties(*item, v.items[i].properties, what + "[" + std::to_string(i) + "]");
        item_stack_.pop_back();
      }
    } catch (...) {
      item_stack_.clear();
      collection.EndUpdate();
      throw;
    }
    collection.EndUpdate();
  }

 private:
  // Forgets the references pending inside the items of `collection`, which
  // is about to be cleared (a collection given twice in one block).
  void DropFixupsInside(const TCollection& collection) {
    std::vector<Fixup> kept;
    for (Fixup& f : fixups_) {
      bool inside = false;
      for (const TCollectionItem* item : f.items)
        for (int i = 0; i < collection.Count() && !inside; ++i)
          inside = collection.Items(i) == item;
      if (!inside) kept.push_back(std::move(f));
    }
    fixups_.swap(kept);
  }

  TComponent* Resolve(const std::string& reference) const {
    std::vector<std::string> parts = SplitDots(reference);
    TComponent* c = root_->FindComponent(parts[0]);
    if (!c && !root_->Name().empty() && SameText(parts[0], root_->Name())) c = root_;
    for (size_t i = 1; c && i < parts.size(); ++i) c = c->FindComponent(parts[i]);
    return c;
  }

  void ResolveFixups() {
    for (const Fixup& f : fixups_) {
      TComponent* c = Resolve(f.reference);
      if (!c)
        Fail(f.line, "Error reading " + f.what + ": Component '" + f.reference + "' not found");
      try {
        f.property->set_component(*f.instance, c);
      } catch (...) {
        Rethrow(f.line, f.what);
      }
    }
  }

  bool StillExists(TComponent* c) const {
    if (c == root_) return true;
    for (int i = 0; i < root_->ComponentCount(); ++i)
      if (root_->Components(i) == c) return true;
    return false;
  }

  // Undoes a failed read: destroys what it created, leaves the rest out of
  // the loading state.
  void Abandon() {
    if (root_created_) {
      delete root_;
      return;
    }
    for (auto it = created_.rbegin(); it != created_.rend(); ++it)
      if (StillExists(*it)) delete *it;
    for (TComponent* c : loaded_)
      if (StillExists(c)) c->CancelLoading();
  }

  // Runs every after-loading step; the first failure is raised once all
  // have run.
  void RunLoaded() {
    std::exception_ptr first;
    for (TComponent* c : loaded_) {
      if (!StillExists(c)) continue;
      try {
        c->Loaded();
      } catch (...) {
        if (!first) first = std::current_exception();
        c->CancelLoading();
      }
    }
    if (first) {
      if (root_created_) delete root_;
      std::rethrow_exception(first);
    }
  }

  TComponent* root_;
  bool root_created_ = false;
  TReader reader_;
  std::vector<TComponent*> loaded_;   // Every component read, in creation order
  std::vector<TComponent*> created_;  // Those this read created
  std::vector<Fixup> fixups_;
  std::vector<const TCollectionItem*> item_stack_;  // Items whose properties are being read
};

// --- TReader ---------------------------------------------------------------

void TReader::Error(const std::string& message) const {
  throw EReadError(LinePrefix(Line()) + message);
}

int TReader::Line() const {
  const TDescValue* v = Peek();
  return v ? v->line : property_line_;
}

const TDescValue* TReader::Peek() const {
  if (!lists_.empty()) {
    const Frame& f = lists_.back();
    return f.next < f.list->elements.size() ? &f.list->elements[f.next] : nullptr;
  }
  return value_;
}

const TDescValue& TReader::Take() {
  const TDescValue* v = Peek();
  if (!v) Error("Invalid property value");
  if (!lists_.empty())
    ++lists_.back().next;
  else
    value_ = nullptr;
  return *v;
}

TValueType TReader::NextValue() const {
  const TDescValue* v = Peek();
  if (!v) return vaNone;
  switch (v->kind) {
    case dvInteger:
      return vaInteger;
    case dvFloat:
      return vaFloat;
    case dvString:
      return vaString;
    case dvIdent:
      if (SameText(v->text, "True")) return vaTrue;
      if (SameText(v->text, "False")) return vaFalse;
      if (SameText(v->text, "nil")) return vaNil;
      if (SameText(v->text, "Null")) return vaNull;
      return vaIdent;
    case dvSet:
      return vaSet;
    case dvList:
      return vaList;
    case dvCollection:
      return vaCollection;
    case dvBinary:
      return vaBinary;
  }
  return vaNone;
}

int64_t TReader::ReadInteger() {
  if (NextValue() != vaInteger) Error("Invalid property value");
  return Take().integer;
}

double TReader::ReadFloat() {
  TValueType t = NextValue();
  if (t == vaInteger) return static_cast<double>(Take().integer);
  if (t != vaFloat) Error("Invalid property value");
  return Take().real;
}

std::string TReader::ReadString() {
  if (NextValue() != vaString) Error("Invalid property value");
  return Take().text;
}

bool TReader::ReadBoolean() {
  TValueType t = NextValue();
  if (t != vaTrue && t != vaFalse) Error("Invalid property value");
  Take();
  return t == vaTrue;
}

std::string TReader::ReadIdent() {
  const TDescValue* v = Peek();
  if (!v || v->kind != dvIdent) Error("Invalid property value");
  return Take().text;
}

std::vector<std::string> TReader::ReadSet() {
  if (NextValue() != vaSet) Error("Invalid property value");
  return Take().members;
}

TBytes TReader::ReadBinary() {
  if (NextValue() != vaBinary) Error("Invalid property value");
  const std::string& bytes = Take().text;
  return TBytes(bytes.begin(), bytes.end());
}

Variant TReader::VariantOf(const TDescValue& v) const {
  switch (v.kind) {
    case dvInteger:
      if (v.integer >= INT32_MIN && v.integer <= INT32_MAX)
        return Variant(static_cast<int>(v.integer));
      return Variant(static_cast<long long>(v.integer));
    case dvFloat:
      return Variant(v.real);
    case dvString:
      return Variant(v.text);
    case dvBinary:
      return Variant::Bytes(v.text.data(), v.text.size());
    case dvIdent:
      if (SameText(v.text, "True")) return Variant(true);
      if (SameText(v.text, "False")) return Variant(false);
      if (SameText(v.text, "Null")) return Variant::Null();
      if (SameText(v.text, "nil")) return Variant();
      break;
    case dvList: {
      std::vector<Variant> elements;
      for (const TDescValue& e : v.elements) elements.push_back(VariantOf(e));
      return Variant(std::move(elements));
    }
    default:
      break;
  }
  throw EReadError(LinePrefix(v.line) + "Invalid property value");
}

Variant TReader::ReadVariant() {
  const TDescValue* v = Peek();
  if (!v) Error("Invalid property value");
  Variant out = VariantOf(*v);
  Take();
  return out;
}

void TReader::ReadCollection(TCollection& collection) {
  const TDescValue* v = Peek();
  if (!v || v->kind != dvCollection) Error("Invalid property value");
  Take();
  engine_->ReadCollectionValue(collection, *v, collection.GetNamePath());
}

void TReader::ReadListBegin() {
  const TDescValue* v = Peek();
  if (!v || v->kind != dvList) Error("Invalid property value");
  Take();
  lists_.push_back({v, 0});
}

bool TReader::EndOfList() const {
  if (lists_.empty()) return true;
  const Frame& f = lists_.back();
  return f.next >= f.list->elements.size();
}

void TReader::ReadListEnd() {
  if (lists_.empty() || !EndOfList()) Error("Invalid property value");
  lists_.pop_back();
}

std::vector<std::string> TReader::ReadStrings() {
  std::vector<std::string> out;
  ReadListBegin();
  while (!EndOfList()) out.push_back(ReadString());
  ReadListEnd();
  return out;
}

void TReader::SkipValue() {
  Take();
}

void TReader::DefineProperty(const std::string& name, ReadProc read, WriteProc, bool) {
  if (!found_ && SameText(name, wanted_)) {
    found_ = true;
    found_read_ = std::move(read);
  }
}

void TReader::DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc, bool) {
  if (!found_ && SameText(name, wanted_)) {
    found_ = true;
    found_stream_read_ = std::move(read);
  }
}

bool TReader::ReadDefined(TPersistent& instance, const std::string& name, const TDescValue& value) {
  // A read procedure may read collections whose items have extra stored
  // properties of their own: keep this level's cursor aside meanwhile.
  struct Saved {
    TReader& r;
    const TDescValue* value;
    int line;
    std::vector<Frame> lists;
    std::string wanted;
    bool found;
    ~Saved() {
      r.value_ = value;
      r.property_line_ = line;
      r.lists_ = std::move(lists);
      r.wanted_ = std::move(wanted);
      r.found_ = found;
    }
  } saved{*this, value_, property_line_, std::move(lists_), wanted_, found_};

  wanted_ = name;
  found_ = false;
  found_read_ = nullptr;
  found_stream_read_ = nullptr;
  lists_.clear();
  value_ = nullptr;
  instance.DefineProperties(*this);
  if (!found_) return false;
  ReadProc read = std::move(found_read_);
  StreamProc stream_read = std::move(found_stream_read_);
  value_ = &value;
  property_line_ = value.line;
  if (stream_read) {
    if (value.kind != dvBinary) Error("Invalid property value");
    TMemoryStream stream;
    stream.WriteBuffer(value.text.data(), static_cast<int64_t>(value.text.size()));
    stream.SetPosition(0);
    value_ = nullptr;
    stream_read(stream);
    return true;
  }
  if (!read) {
    SkipValue();
    return true;
  }
  read(*this);
  if (value_ != nullptr || !lists_.empty()) {
    value_ = nullptr;
    property_line_ = value.line;
    Error("Invalid property value");
  }
  return true;
}

// --- Entry points ------------------------------------------------------------

TComponent* ReadComponentFromText(const std::string& text, TComponent* owner) {
  TDescObject desc = ParseDescription(text);
  auto info = GetClass(desc.class_name);
  if (!info) throw EReadError(LinePrefix(desc.line) + "Class " + desc.class_name + " not found");
  if (!info->create)
    throw EReadError(LinePrefix(desc.line) + "Class " + desc.class_name + " cannot be created");
  TComponent* root = nullptr;
  try {
    root = info->create(owner);
  } catch (...) {
    Rethrow(desc.line, desc.class_name);
  }
  TDescriptionReader(root).Read(desc, true);
  return root;
}

void ReadRootFromText(const std::string& text, TComponent* root) {
  TDescObject desc = ParseDescription(text);
  auto info = GetClass(desc.class_name);
  if (!info) throw EReadError(LinePrefix(desc.line) + "Class " + desc.class_name + " not found");
  if (!info->is_instance(*root))
    throw EReadError(LinePrefix(desc.line) +
                     (root->Name().empty() ? root->ClassName() : root->Name()) + " is not a " +
                     desc.class_name);
  TDescriptionReader(root).Read(desc, false);
}

}  // namespace dataset
