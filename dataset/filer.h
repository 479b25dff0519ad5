// Readers and writers of stored descriptions, as a class's extra stored
// properties see them. A class declares such properties in its
// DefineProperties(TFiler&) override:
//
//   void TNdsQuery::DefineProperties(TFiler& filer) {
//     TNdsDataSet::DefineProperties(filer);
//     filer.DefineBinaryProperty("Data", read_data, write_data, data_ != nullptr);
//     filer.DefineProperty("ParamData",
//         [this](TReader& r) { r.ReadCollection(*Params()); },
//         [this](TWriter& w) { w.WriteCollection(*Params()); }, true);
//   }
//
// A read procedure is called with the reader positioned on the property's
// value and must consume exactly that value; a write procedure writes
// exactly one value (a list, set or collection counts as one).
#ifndef DATASET_FILER_H
#define DATASET_FILER_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/component.h"
#include "dataset/description_text.h"
#include "dataset/variant.h"

namespace dataset {

class TCollection;
class TReader;
class TStream;
class TWriter;

// The kind of the next value a reader holds.
enum TValueType {
  vaNone,  // no value left (end of a list, or the value was consumed)
  vaInteger,
  vaFloat,
  vaString,
  vaIdent,  // any identifier but the four below
  vaFalse,
  vaTrue,
  vaNil,
  vaNull,
  vaSet,
  vaList,
  vaCollection,
  vaBinary,
};

class TFiler {
 public:
  using ReadProc = std::function<void(TReader&)>;
  using WriteProc = std::function<void(TWriter&)>;
  using StreamProc = std::function<void(TStream&)>;

  virtual ~TFiler() = default;

  // Declares the extra stored property `name`. The reader calls `read` when
  // the description holds it; the writer calls `write` when `has_data`.
  virtual void DefineProperty(const std::string& name, ReadProc read, WriteProc write,
                              bool has_data) = 0;
  // As DefineProperty for a block of bytes stored as { hex }: `read` gets a
  // memory stream holding the bytes (positioned at 0), `write` writes them
  // to the stream it is given.
  virtual void DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc write,
                                    bool has_data) = 0;

  // The component at the top of the description.
  TComponent* Root() const { return root_; }

 protected:
  TComponent* root_ = nullptr;
};

// Reads values inside a read procedure. Reading a value of another kind
// than the one held raises EReadError "Line N: Invalid property value".
class TReader : public TFiler {
 public:
  TValueType NextValue() const;
  // The line of the next value (or of the property when none is left).
  int Line() const;

  int64_t ReadInteger();
  double ReadFloat();  // integers are accepted too
  std::string ReadString();
  bool ReadBoolean();
  std::string ReadIdent();  // any identifier, True/False/nil/Null included
  std::vector<std::string> ReadSet();
  TBytes ReadBinary();
  // Integers, floats, strings, True/False, Null/nil (null), binary data
  // (bytes) and lists (arrays).
  Variant ReadVariant();
  // Replaces the items of `collection` with the items of a <...> value.
  void ReadCollection(TCollection& collection);
  // Lists: ReadListBegin, values until EndOfList, ReadListEnd.
  void ReadListBegin();
  bool EndOfList() const;
  void ReadListEnd();
  // Reads a list of strings.
  std::vector<std::string> ReadStrings();
  // Skips the next value, whatever it is.
  void SkipValue();

  [[noreturn]] void Error(const std::string& message) const;

  void DefineProperty(const std::string& name, ReadProc read, WriteProc write,
                      bool has_data) override;
  void DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc write,
                            bool has_data) override;

 private:
  friend class TDescriptionReader;
  TReader() = default;

  // Reads one extra stored property `name` of `instance` from `value`;
  // false when the instance defines no such property.
  bool ReadDefined(TPersistent& instance, const std::string& name, const TDescValue& value);
  const TDescValue& Take();
  const TDescValue* Peek() const;
  // The Variant a value stands for (see ReadVariant).
  Variant VariantOf(const TDescValue& value) const;

  struct Frame {
    const TDescValue* list;  // The list being read
    size_t next;             // Index of its next element
  };
  const TDescValue* value_ = nullptr;  // The property value not yet taken
  int property_line_ = 0;
  std::vector<Frame> lists_;
  std::string wanted_;  // The defined property being looked for
  ReadProc found_read_;
  StreamProc found_stream_read_;
  bool found_ = false;
  class TDescriptionReader* engine_ = nullptr;  // Applies published properties
};

// Writes values inside a write procedure.
class TWriter : public TFiler {
 public:
  void WriteInteger(int64_t value);
  void WriteFloat(double value);
  void WriteString(const std::string& value);
  void WriteBoolean(bool value);
  void WriteIdent(const std::string& value);
  void WriteSet(const std::vector<std::string>& members);
  void WriteBinary(const TBytes& bytes);
  // Null as Null, empty as nil, arrays as lists, bytes as binary data.
  void WriteVariant(const Variant& value);
  // Writes every item of `collection` with its stored properties.
  void WriteCollection(const TCollection& collection);
  void WriteListBegin();
  void WriteListEnd();
  void WriteStrings(const std::vector<std::string>& strings);

  void DefineProperty(const std::string& name, ReadProc read, WriteProc write,
                      bool has_data) override;
  void DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc write,
                            bool has_data) override;

 private:
  friend class TDescriptionWriter;
  TWriter() = default;

  void Emit(TDescValue value);
  // Runs `write` apart from the values being built and returns the one
  // value it wrote; EWriteError naming `name` when it wrote another count.
  TDescValue Capture(const std::function<void()>& write, const std::string& name = "value");
  // Writes the published and extra stored properties of `instance`, their
  // names prefixed with `prefix`, into `out`.
  void WriteProperties(TPersistent& instance, const std::string& prefix,
                       std::vector<TDescProperty>& out);

  std::vector<TDescProperty>* out_ = nullptr;  // Where properties go
  std::string prefix_;                         // Prefix of property names
  std::vector<TDescValue> pending_;            // Values being built (lists)
  std::vector<TDescValue> finished_;           // Values written by one procedure
};

}  // namespace dataset

#endif  // DATASET_FILER_H
