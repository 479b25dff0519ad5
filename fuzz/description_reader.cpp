// Fuzzes the stored-description reader: arbitrary text must either read or
// be refused with EReadError, and whatever reads must write out as a
// description that reads back to the same text.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "dataset/collection.h"
#include "dataset/exceptions.h"
#include "dataset/params.h"
#include "dataset/stream.h"
#include "dataset/streaming.h"
#include "dataset/strings.h"

namespace dataset {
template <>
struct TEventTypeName<std::function<void(int&)>> {
  static constexpr const char* value = "TCountEvent";
};
}  // namespace dataset

namespace {

using namespace dataset;

enum TKind { kA, kB, kC };

class TFuzzPart : public TPersistent {
 public:
  std::string text;
  int64_t number = 0;
};

class TFuzzThing;

// A collection item holding a reference, resolved after reading.
class TFuzzLink : public TCollectionItem {
 public:
  explicit TFuzzLink(TCollection* c) : TCollectionItem(c) {}
  TFuzzThing* target = nullptr;
};

class TFuzzThing : public TComponent {
 public:
  explicit TFuzzThing(TComponent* owner)
      : TComponent(owner),
        params(this),
        links([](TCollection* c) { return new TFuzzLink(c); }, this) {}
  int64_t number = 0;
  double real = 0;
  bool flag = false;
  std::string text;
  TKind kind = kA;
  TSet<TKind> kinds;
  TFuzzThing* other = nullptr;
  TFuzzPart part;
  TStringList lines;
  TParams params;
  TCollection links;
  Variant value;
  TBytes bytes;
  std::string data;
  std::string on_click_name;           // the handler's name, as read
  std::function<void(int&)> on_count;  // a typed event
  std::string on_count_name;

  void SetOther(TFuzzThing* o) {
    if (other) other->RemoveFreeNotification(this);
    other = o;
    if (o) o->FreeNotification(this);
  }
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove && c == other) other = nullptr;
  }
  void DefineProperties(TFiler& filer) override {
    TComponent::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "Data",
        [this](TStream& s) {
          data.resize(static_cast<size_t>(s.Size()));
          s.ReadBuffer(data.data(), s.Size());
        },
        [this](TStream& s) { s.WriteBuffer(data.data(), static_cast<int64_t>(data.size())); },
        !data.empty());
    filer.DefineProperty(
        "ParamData", [this](TReader& r) { r.ReadCollection(params); },
        [this](TWriter& w) { w.WriteCollection(params); }, true);
    filer.DefineProperty(
        "WaitCursor",
        [](TReader& r) {
          if (r.NextValue() == vaInteger)
            r.ReadInteger();
          else
            r.ReadIdent();
        },
        nullptr, false);
  }
};

class TFuzzRoot : public TComponent {
 public:
  explicit TFuzzRoot(TComponent* owner) : TComponent(owner) {}
  ~TFuzzRoot() override { DestroyComponents(); }
  TMethod FindMethod(const std::string& name) override {
    if (name == "Click") return [](TObject*) {};
    if (name == "Count") return std::function<void(int&)>([](int& n) { ++n; });
    return {};
  }
};

void Register() {
  RegisterClass<TFuzzLink, TCollectionItem>("TFuzzLink")
      .Component<TFuzzThing>(
          "Target", [](const TFuzzLink& l) { return l.target; },
          [](TFuzzLink& l, TFuzzThing* t) { l.target = t; });
  RegisterClass<TFuzzRoot, TComponent>("TFuzzRoot");
  RegisterClass<TFuzzPart, TPersistent>("TFuzzPart")
      .String(
          "Text", [](const TFuzzPart& p) { return p.text; },
          [](TFuzzPart& p, const std::string& v) { p.text = v; })
      .Integer(
          "Number", [](const TFuzzPart& p) { return p.number; },
          [](TFuzzPart& p, int64_t v) { p.number = v; }, 0);
  RegisterClass<TFuzzThing, TComponent>("TFuzzThing")
      .Integer(
          "Number", [](const TFuzzThing& t) { return t.number; },
          [](TFuzzThing& t, int64_t v) { t.number = v; }, 0)
      .Float(
          "Real", [](const TFuzzThing& t) { return t.real; },
          [](TFuzzThing& t, double v) { t.real = v; }, 0.0)
      .Boolean(
          "Flag", [](const TFuzzThing& t) { return t.flag; },
          [](TFuzzThing& t, bool v) { t.flag = v; }, false)
      .String(
          "Text", [](const TFuzzThing& t) { return t.text; },
          [](TFuzzThing& t, const std::string& v) { t.text = v; })
      .Enum<TKind>(
          "Kind", [](const TFuzzThing& t) { return t.kind; },
          [](TFuzzThing& t, TKind v) { t.kind = v; }, {"kA", "kB", "kC"}, kA)
      .Set<TKind>(
          "Kinds", [](const TFuzzThing& t) { return t.kinds; },
          [](TFuzzThing& t, TSet<TKind> v) { t.kinds = v; }, {"kA", "kB", "kC"})
      .Component<TFuzzThing>(
          "Other", [](const TFuzzThing& t) { return t.other; }, &TFuzzThing::SetOther)
      .Object("Part", [](TFuzzThing& t) { return &t.part; })
      .Object("Lines", [](TFuzzThing& t) { return &t.lines; })
      .Object("Params", [](TFuzzThing& t) { return &t.params; })
      .Object("Links", [](TFuzzThing& t) { return &t.links; })
      .VariantValue(
          "Value", [](const TFuzzThing& t) { return t.value; },
          [](TFuzzThing& t, const Variant& v) { t.value = v; })
      .Binary(
          "Bytes", [](const TFuzzThing& t) { return t.bytes; },
          [](TFuzzThing& t, const TBytes& v) { t.bytes = v; })
      // An event property names the handler it was given, and none when it
      // has none: a root other than TFuzzRoot offers no "Click" to read back.
      .Event(
          "OnClick", [](const TFuzzThing& t) { return t.on_click_name; },
          [](TFuzzThing& t, const std::string& n, TNotifyEvent) { t.on_click_name = n; })
      .Event<std::function<void(int&)>>(
          "OnCount", [](const TFuzzThing& t) { return t.on_count_name; },
          [](TFuzzThing& t, const std::string& n, std::function<void(int&)> h) {
            t.on_count_name = n;
            t.on_count = std::move(h);
          });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (Register(), true);
  (void)registered;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TComponent> root;
  try {
    root.reset(ReadComponentFromText(text, nullptr));
  } catch (const EReadError&) {
    return 0;
  }
  std::string written = WriteComponentToText(root.get());
  std::unique_ptr<TComponent> again;
  try {
    again.reset(ReadComponentFromText(written, nullptr));
  } catch (const EReadError& e) {
    std::fprintf(stderr, "written description does not read back: %s\n%s\n", e.Message().c_str(),
                 written.c_str());
    std::abort();
  }
  if (WriteComponentToText(again.get()) != written) {
    std::fprintf(stderr, "round trip changed the description:\n%s\n", written.c_str());
    std::abort();
  }
  return 0;
}
