// Writes components as stored descriptions (streaming.h) and carries the
// value writing of TWriter (filer.h).
#include "dataset/collection.h"
#include "dataset/description_text.h"
#include "dataset/exceptions.h"
#include "dataset/stream.h"
#include "dataset/streaming.h"
#include "dataset/text.h"

namespace dataset {

namespace {

TDescValue Ident(const std::string& text) {
  TDescValue v;
  v.kind = dvIdent;
  v.text = text;
  return v;
}

}  // namespace

// The writing of one description.
class TDescriptionWriter {
 public:
  explicit TDescriptionWriter(TComponent* root) { writer_.root_ = root; }

  TDescObject WriteObject(TComponent* c, int depth) {
    if (depth > 64) throw EWriteError("Components nested too deep to write");
    auto info = ClassInfoOf(*c);
    if (!info) throw EWriteError("Class " + c->ClassName() + " is not registered");
    TDescObject obj;
    obj.kind = c->ComponentState().Contains(csInline) ? dkInline : dkObject;
    obj.name = c->Name();
    obj.class_name = info->type == typeid(*c) ? info->name : c->ClassName();
    struct WritingState {
      TComponent* c;
      ~WritingState() { c->SetWriting(false); }
    } writing{c};
    c->SetWriting(true);
    writer_.WriteProperties(*c, std::string(), obj.properties);
    std::vector<TComponent*> children;
    c->GetChildren([&](TComponent* child) { children.push_back(child); });
    for (TComponent* child : children) obj.children.push_back(WriteObject(child, depth + 1));
    return obj;
  }

 private:
  TWriter writer_;
};

// --- TWriter ---------------------------------------------------------------

void TWriter::Emit(TDescValue value) {
  if (!pending_.empty())
    pending_.back().elements.push_back(std::move(value));
  else
    finished_.push_back(std::move(value));
}

void TWriter::WriteInteger(int64_t value) {
  TDescValue v;
  v.kind = dvInteger;
  v.integer = value;
  Emit(std::move(v));
}

void TWriter::WriteFloat(double value) {
  TDescValue v;
  v.kind = dvFloat;
  v.real = value;
  Emit(std::move(v));
}

void TWriter::WriteString(const std::string& value) {
  TDescValue v;
  v.kind = dvString;
  v.text = value;
  Emit(std::move(v));
}

void TWriter::WriteBoolean(bool value) {
  Emit(Ident(value ? "True" : "False"));
}

void TWriter::WriteIdent(const std::string& value) {
  if (!IsValidIdent(value)) throw EWriteError("'" + value + "' is not an identifier");
  Emit(Ident(value));
}

void TWriter::WriteSet(const std::vector<std::string>& members) {
  TDescValue v;
  v.kind = dvSet;
  v.members = members;
  Emit(std::move(v));
}

void TWriter::WriteBinary(const TBytes& bytes) {
  TDescValue v;
  v.kind = dvBinary;
  v.text.assign(bytes.begin(), bytes.end());
  Emit(std::move(v));
}

void TWriter::WriteVariant(const Variant& value) {
  switch (value.VarType()) {
    case varEmpty:
      Emit(Ident("nil"));
      return;
    case varNull:
      Emit(Ident("Null"));
      return;
    case varBoolean:
      WriteBoolean(value.AsBoolean());
      return;
    case varSmallint:
    case varInteger:
    case varWord:
    case varInt64:
      WriteInteger(value.AsInt64());
      return;
    case varDouble:
    case varCurrency:
    case varDate:
      WriteFloat(value.AsDouble());
      return;
    case varString:
    case varBcd:
      WriteString(value.AsString());
      return;
    case varBytes:
      WriteBinary(value.AsBytes());
      return;
    case varArray:
      WriteListBegin();
      for (const Variant& e : value.Elements()) WriteVariant(e);
      WriteListEnd();
      return;
  }
}

void TWriter::WriteListBegin() {
  TDescValue v;
  v.kind = dvList;
  pending_.push_back(std::move(v));
}

void TWriter::WriteListEnd() {
  if (pending_.empty()) throw EWriteError("List end without list begin");
  TDescValue v = std::move(pending_.back());
  pending_.pop_back();
  Emit(std::move(v));
}

void TWriter::WriteStrings(const std::vector<std::string>& strings) {
  WriteListBegin();
  for (const std::string& s : strings) WriteString(s);
  WriteListEnd();
}

void TWriter::WriteCollection(const TCollection& collection) {
  TDescValue v;
  v.kind = dvCollection;
  for (int i = 0; i < collection.Count(); ++i) {
    TDescItem item;
    WriteProperties(*collection.Items(i), std::string(), item.properties);
    v.items.push_back(std::move(item));
  }
  Emit(std::move(v));
}

TDescValue TWriter::Capture(const std::function<void()>& write, const std::string& name) {
  // The writing may reach collections whose items write their own
  // properties: keep this level's state aside meanwhile.
  std::vector<TDescValue> pending, finished;
  pending.swap(pending_);
  finished.swap(finished_);
  std::vector<TDescProperty>* out = out_;
  std::string prefix = prefix_;
  auto restore = [&] {
    pending_.swap(pending);
    finished_.swap(finished);
    out_ = out;
    prefix_ = prefix;
  };
  try {
    write();
  } catch (...) {
    restore();
    throw;
  }
  bool one_value = pending_.empty() && finished_.size() == 1;
  TDescValue value = one_value ? std::move(finished_.front()) : TDescValue();
  restore();
  if (!one_value) throw EWriteError("Property " + name + " must write exactly one value");
  return value;
}

void TWriter::DefineProperty(const std::string& name, ReadProc, WriteProc write, bool has_data) {
  if (!has_data || !write) return;
  TDescValue value = Capture([&] { write(*this); }, name);
  out_->push_back({prefix_ + name, std::move(value), 0});
}

void TWriter::DefineBinaryProperty(const std::string& name, StreamProc, StreamProc write,
                                   bool has_data) {
  if (!has_data || !write) return;
  TMemoryStream stream;
  write(stream);
  TDescValue v;
  v.kind = dvBinary;
  v.text.assign(stream.Bytes().begin(), stream.Bytes().end());
  out_->push_back({prefix_ + name, std::move(v), 0});
}

namespace {

// The name a reference to `c` is written with; empty when it has none.
std::string ReferenceName(const TComponent* c, const TComponent* root) {
  if (c->Name().empty()) return std::string();
  if (c == root || c->Owner() == root || c->Owner() == nullptr) return c->Name();
  if (c->Owner()->Name().empty()) return std::string();
  return c->Owner()->Name() + "." + c->Name();
}

}  // namespace

void TWriter::WriteProperties(TPersistent& instance, const std::string& prefix,
                              std::vector<TDescProperty>& out) {
  auto info = ClassInfoOf(instance);
  if (info) {
    for (const TPropInfo* p : AllProperties(*info)) {
      if (p->stored && !p->stored(instance)) continue;
      TDescValue v;
      std::string name = prefix + p->name;
      switch (p->kind) {
        case pkInteger: {
          int64_t x = p->get_ordinal(instance);
          if (p->default_ordinal && x == *p->default_ordinal) continue;
          v.kind = dvInteger;
          v.integer = x;
          break;
        }
        case pkBoolean: {
          int64_t x = p->get_ordinal(instance);
          if (p->default_ordinal && x == *p->default_ordinal) continue;
          v = Ident(x ? "True" : "False");
          break;
        }
        case pkFloat: {
          double x = p->get_float(instance);
          if (p->default_float && x == *p->default_float) continue;
          v.kind = dvFloat;
          v.real = x;
          break;
        }
        case pkString: {
          std::string x = p->get_string(instance);
          if (p->default_string && x == *p->default_string) continue;
          v.kind = dvString;
          v.text = std::move(x);
          break;
        }
        case pkEnum: {
          int64_t x = p->get_ordinal(instance);
          if (p->default_ordinal && x == *p->default_ordinal) continue;
          if (x < 0 || x >= static_cast<int64_t>(p->names.size()))
            throw EWriteError("Property " + name + " holds an invalid value");
          v = Ident(p->names[static_cast<size_t>(x)]);
          break;
        }
        case pkSet: {
          int64_t x = p->get_ordinal(instance);
          if (p->default_ordinal && x == *p->default_ordinal) continue;
          v.kind = dvSet;
          uint64_t mask = static_cast<uint64_t>(x);
          for (size_t i = 0; i < p->names.size() && i < 64; ++i)
            if (mask & (uint64_t{1} << i)) v.members.push_back(p->names[i]);
          break;
        }
        case pkComponent: {
          TComponent* c = p->get_component(instance);
          if (!c) continue;
          std::string ref = ReferenceName(c, root_);
          if (ref.empty()) continue;
          v = Ident(ref);
          break;
        }
        case pkObject: {
          TPersistent* sub = p->get_object(instance);
          if (!sub) continue;
          if (auto* collection = dynamic_cast<TCollection*>(sub)) {
            v = Capture([&] { WriteCollection(*collection); });
            break;
          }
          WriteProperties(*sub, name + ".", out);
          continue;
        }
        case pkMethod: {
          std::string x = p->get_string(instance);
          if (x.empty()) continue;
          v = Ident(x);
          break;
        }
        case pkVariant: {
          Variant x = p->get_variant(instance);
          if (x.IsEmpty()) continue;
          v = Capture([&] { WriteVariant(x); });
          break;
        }
        case pkBinary: {
          TBytes x = p->get_bytes(instance);
          if (x.empty()) continue;
          v.kind = dvBinary;
          v.text.assign(x.begin(), x.end());
          break;
        }
      }
      out.push_back({name, std::move(v), 0});
    }
  }
  std::vector<TDescProperty>* saved_out = out_;
  std::string saved_prefix = prefix_;
  out_ = &out;
  prefix_ = prefix;
  try {
    instance.DefineProperties(*this);
  } catch (...) {
    out_ = saved_out;
    prefix_ = saved_prefix;
    throw;
  }
  out_ = saved_out;
  prefix_ = saved_prefix;
}

// --- Entry point -------------------------------------------------------------

std::string WriteComponentToText(TComponent* root) {
  TDescriptionWriter writer(root);
  return PrintDescription(writer.WriteObject(root, 0));
}

}  // namespace dataset
