// String lists. TStrings is a list of 8-bit strings, each with an optional
// associated object, with whole-text forms (lines, comma text, name=value
// pairs) and change notification; TStringList adds sorting with duplicate
// handling.
#ifndef DATASET_STRINGS_H
#define DATASET_STRINGS_H

#include <functional>
#include <string>
#include <vector>

#include "dataset/component.h"

namespace dataset {

class TStream;  // dataset/stream.h

// How a sorted list treats a string it already holds.
enum TDuplicates {
  dupIgnore,  // Add returns the existing string's index and adds nothing
  dupAccept,  // the duplicate is added
  dupError,   // Add raises EStringListError "String list does not allow duplicates"
};

// Bad indexes raise EStringListError "List index out of bounds (i)".
// Every change raises OnChanging before and OnChange after it, unless an
// update is open (BeginUpdate): then OnChanging fires once at the first
// BeginUpdate and OnChange once at the matching EndUpdate.
class TStrings : public TPersistent {
 public:
  TStrings() = default;
  ~TStrings() override;

  // Items.
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const;
  virtual void SetStrings(int index, const std::string& value);
  const std::string& operator[](int index) const { return Strings(index); }
  TObject* Objects(int index) const;
  void SetObjects(int index, TObject* object);

  // Adding and removing. Add returns the new string's index.
  virtual int Add(const std::string& s);
  virtual int AddObject(const std::string& s, TObject* object);
  void Append(const std::string& s) { Add(s); }
  virtual void Insert(int index, const std::string& s);
  virtual void InsertObject(int index, const std::string& s, TObject* object);
  virtual void Delete(int index);
  virtual void Clear();
  virtual void Exchange(int index1, int index2);
  virtual void Move(int current_index, int new_index);
  void AddStrings(const TStrings& strings);
  void AddStrings(const std::vector<std::string>& strings);

  // Search. Comparison ignores letter case unless CaseSensitive is set.
  virtual int IndexOf(const std::string& s) const;
  int IndexOfName(const std::string& name) const;
  int IndexOfObject(const TObject* object) const;
  bool CaseSensitive() const { return case_sensitive_; }
  virtual void SetCaseSensitive(bool value);

  // Whole text: every line followed by a carriage return and line feed.
  // SetText splits at CR LF, CR or LF; a final line break adds no line.
  std::string Text() const;
  virtual void SetText(const std::string& text);
  // Items separated by commas, quoted with double quotes when they hold a
  // space, comma, quote or control character.
  std::string CommaText() const;
  void SetCommaText(const std::string& text);
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char c) { delimiter_ = c; }
  char QuoteChar() const { return quote_char_; }
  void SetQuoteChar(char c) { quote_char_ = c; }
  std::string DelimitedText() const;
  void SetDelimitedText(const std::string& text);

  // name=value pairs. Setting an empty value removes the pair.
  char NameValueSeparator() const { return name_value_separator_; }
  void SetNameValueSeparator(char c) { name_value_separator_ = c; }
  std::string Names(int index) const;
  std::string Values(const std::string& name) const;
  void SetValues(const std::string& name, const std::string& value);
  std::string ValueFromIndex(int index) const;

  // Streams: LoadFromStream replaces the content with the text from the
  // stream's position to its end (one OnChange); SaveToStream writes Text().
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

  // Every string in order.
  std::vector<std::string> ToVector() const;
  // Same strings in the same order (exact comparison).
  bool Equals(const TStrings& other) const;

  // Takes the strings and objects of another TStrings (one OnChange).
  void Assign(const TPersistent* source) override;
  // Stores the list as "Strings = ( '...' ... )" when it has strings
  // (framework_classes.cpp).
  void DefineProperties(TFiler& filer) override;

  // Updates.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

  // Events; each fires only when assigned.
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  struct Item {
    std::string text;
    TObject* object = nullptr;  // Not owned unless the list OwnsObjects
  };

  virtual void Changing();
  virtual void Changed();
  // Raises the out-of-bounds error unless 0 <= index < Count().
  void CheckIndex(int index) const;
  // Item storage for derived lists; changes through it notify nobody.
  std::vector<Item>& Items() { return items_; }
  const std::vector<Item>& Items() const { return items_; }
  void InsertItem(int index, const std::string& s, TObject* object);
  int CompareStrings(const std::string& a, const std::string& b) const;
  // Called for an item's object when it leaves the list.
  virtual void ReleaseObject(TObject* object);

 private:
  std::vector<Item> items_;
  int update_count_ = 0;
  bool case_sensitive_ = false;
  char delimiter_ = ',';
  char quote_char_ = '"';
  char name_value_separator_ = '=';
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override;

  // A sorted list keeps its strings in ascending order; positional changes
  // (Insert, SetStrings, Exchange, Move) raise EStringListError
  // "Operation not allowed on sorted list".
  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }
  // Objects owned by the list are deleted when their item leaves it.
  bool OwnsObjects() const { return owns_objects_; }
  void SetOwnsObjects(bool value) { owns_objects_ = value; }

  // Where `s` is or would be inserted in a sorted list; true when found.
  // On an unsorted list a linear search, index -1 when not found.
  bool Find(const std::string& s, int& index) const;
  void Sort();
  // Sorts with `compare(list, i, j)` returning <0, 0 or >0.
  void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);

  int AddObject(const std::string& s, TObject* object) override;
  void InsertObject(int index, const std::string& s, TObject* object) override;
  void SetStrings(int index, const std::string& value) override;
  void Exchange(int index1, int index2) override;
  void Move(int current_index, int new_index) override;
  int IndexOf(const std::string& s) const override;
  void SetCaseSensitive(bool value) override;

 protected:
  void ReleaseObject(TObject* object) override;

 private:
  void CheckUnsorted() const;

  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
  bool owns_objects_ = false;
};

}  // namespace dataset

#endif  // DATASET_STRINGS_H
