#include "dataset/strings.h"

#include <algorithm>

#include "dataset/exceptions.h"
#include "dataset/stream.h"
#include "dataset/text.h"

namespace dataset {

namespace {

const char kSortedListError[] = "Operation not allowed on sorted list";

// Reads one possibly quoted item of delimited text starting at s[i].
std::string ReadDelimitedItem(const std::string& s, size_t& i, char delimiter, char quote) {
  std::string item;
  if (i < s.size() && s[i] == quote) {
    ++i;
    while (i < s.size()) {
      if (s[i] == quote) {
        if (i + 1 < s.size() && s[i + 1] == quote) {
          item += quote;
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      item += s[i++];
    }
    // Text after the closing quote up to the delimiter belongs to the item.
    while (i < s.size() && s[i] != delimiter && static_cast<unsigned char>(s[i]) > ' ')
      item += s[i++];
  } else {
    while (i < s.size() && s[i] != delimiter && static_cast<unsigned char>(s[i]) > ' ')
      item += s[i++];
  }
  return item;
}

}  // namespace

// --- TStrings --------------------------------------------------------------

TStrings::~TStrings() = default;

void TStrings::CheckIndex(int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string& TStrings::Strings(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].text;
}

void TStrings::SetStrings(int index, const std::string& value) {
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].text = value;
  Changed();
}

TObject* TStrings::Objects(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TStrings::SetObjects(int index, TObject* object) {
  CheckIndex(index);
  Changing();
  Item& item = items_[static_cast<size_t>(index)];
  if (item.object != object) ReleaseObject(item.object);
  item.object = object;
  Changed();
}

int TStrings::Add(const std::string& s) {
  return AddObject(s, nullptr);
}

int TStrings::AddObject(const std::string& s, TObject* object) {
  int index = Count();
  InsertObject(index, s, object);
  return index;
}

void TStrings::Insert(int index, const std::string& s) {
  InsertObject(index, s, nullptr);
}

void TStrings::InsertObject(int index, const std::string& s, TObject* object) {
  if (index < 0 || index > Count())
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  Changing();
  InsertItem(index, s, object);
  Changed();
}

void TStrings::InsertItem(int index, const std::string& s, TObject* object) {
  items_.insert(items_.begin() + index, Item{s, object});
}

void TStrings::Delete(int index) {
  CheckIndex(index);
  Changing();
  TObject* object = items_[static_cast<size_t>(index)].object;
  items_.erase(items_.begin() + index);
  ReleaseObject(object);
  Changed();
}

void TStrings::Clear() {
  if (items_.empty()) return;
  Changing();
  std::vector<Item> old;
  old.swap(items_);
  for (Item& item : old) ReleaseObject(item.object);
  Changed();
}

void TStrings::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

void TStrings::Move(int current_index, int new_index) {
  if (current_index == new_index) return;
  CheckIndex(current_index);
  CheckIndex(new_index);
  Changing();
  Item item = items_[static_cast<size_t>(current_index)];
  items_.erase(items_.begin() + current_index);
  items_.insert(items_.begin() + new_index, item);
  Changed();
}

void TStrings::AddStrings(const TStrings& strings) {
  // A copy first: `strings` may be this list.
  std::vector<Item> copy = strings.items_;
  BeginUpdate();
  try {
    for (const Item& item : copy) AddObject(item.text, item.object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::AddStrings(const std::vector<std::string>& strings) {
  BeginUpdate();
  try {
    for (const std::string& s : strings) Add(s);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TStrings::CompareStrings(const std::string& a, const std::string& b) const {
  if (case_sensitive_) {
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return CompareText(a, b);
}

int TStrings::IndexOf(const std::string& s) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (CompareStrings(items_[i].text, s) == 0) return static_cast<int>(i);
  return -1;
}

int TStrings::IndexOfName(const std::string& name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string& t = items_[i].text;
    size_t p = t.find(name_value_separator_);
    if (p != std::string::npos && CompareStrings(t.substr(0, p), name) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* object) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].object == object) return static_cast<int>(i);
  return -1;
}

void TStrings::SetCaseSensitive(bool value) {
  case_sensitive_ = value;
}

std::string TStrings::Text() const {
  std::string out;
  for (const Item& item : items_) {
    out += item.text;
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(const std::string& text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    while (i < text.size()) {
      size_t start = i;
      while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
      Add(text.substr(start, i - start));
      if (i < text.size() && text[i] == '\r') ++i;
      if (i < text.size() && text[i] == '\n') ++i;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::DelimitedText() const {
  std::string out;
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string& t = items_[i].text;
    bool quote = t.empty() && items_.size() == 1;
    for (char c : t)
      if (static_cast<unsigned char>(c) <= ' ' || c == delimiter_ || c == quote_char_) quote = true;
    if (i) out += delimiter_;
    if (quote) {
      out += quote_char_;
      for (char c : t) {
        out += c;
        if (c == quote_char_) out += c;
      }
      out += quote_char_;
    } else {
      out += t;
    }
  }
  return out;
}

void TStrings::SetDelimitedText(const std::string& text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    auto skip_blanks = [&] {
      while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    };
    skip_blanks();
    while (i < text.size()) {
      Add(ReadDelimitedItem(text, i, delimiter_, quote_char_));
      skip_blanks();
      if (i < text.size() && text[i] == delimiter_) {
        ++i;
        skip_blanks();
        if (i >= text.size()) Add(std::string());  // a trailing delimiter ends an empty item
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::CommaText() const {
  TStringList copy;
  copy.AddStrings(ToVector());
  return copy.DelimitedText();
}

void TStrings::SetCommaText(const std::string& text) {
  char d = delimiter_, q = quote_char_;
  delimiter_ = ',';
  quote_char_ = '"';
  try {
    SetDelimitedText(text);
  } catch (...) {
    delimiter_ = d;
    quote_char_ = q;
    throw;
  }
  delimiter_ = d;
  quote_char_ = q;
}

std::string TStrings::Names(int index) const {
  const std::string& t = Strings(index);
  size_t p = t.find(name_value_separator_);
  return p == std::string::npos ? std::string() : t.substr(0, p);
}

std::string TStrings::Values(const std::string& name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

std::string TStrings::ValueFromIndex(int index) const {
  const std::string& t = Strings(index);
  size_t p = t.find(name_value_separator_);
  return p == std::string::npos ? std::string() : t.substr(p + 1);
}

void TStrings::SetValues(const std::string& name, const std::string& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = name + name_value_separator_ + value;
  if (i < 0)
    Add(line);
  else
    SetStrings(i, line);
}

std::vector<std::string> TStrings::ToVector() const {
  std::vector<std::string> out;
  out.reserve(items_.size());
  for (const Item& item : items_) out.push_back(item.text);
  return out;
}

void TStrings::LoadFromStream(TStream& stream) {
  int64_t remaining = stream.Size() - stream.Position();
  std::string text(static_cast<size_t>(std::max<int64_t>(remaining, 0)), '\0');
  stream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const {
  std::string text = Text();
  stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

bool TStrings::Equals(const TStrings& other) const {
  if (other.Count() != Count()) return false;
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].text != other.items_[i].text) return false;
  return true;
}

void TStrings::Assign(const TPersistent* source) {
  const TStrings* strings = dynamic_cast<const TStrings*>(source);
  if (!strings) {
    TPersistent::Assign(source);
    return;
  }
  if (strings == this) return;
  BeginUpdate();
  try {
    Clear();
    name_value_separator_ = strings->name_value_separator_;
    quote_char_ = strings->quote_char_;
    delimiter_ = strings->delimiter_;
    AddStrings(*strings);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::BeginUpdate() {
  if (update_count_ == 0) {
    // OnChanging fires before the count rises, so it is not swallowed.
    if (OnChanging) OnChanging(this);
  }
  ++update_count_;
}

void TStrings::EndUpdate() {
  if (update_count_ == 0) return;
  if (--update_count_ == 0 && OnChange) OnChange(this);
}

void TStrings::Changing() {
  if (update_count_ == 0 && OnChanging) OnChanging(this);
}

void TStrings::Changed() {
  if (update_count_ == 0 && OnChange) OnChange(this);
}

void TStrings::ReleaseObject(TObject*) {}

// --- TStringList -----------------------------------------------------------

TStringList::~TStringList() {
  // The base destructor cannot reach ReleaseObject of this class.
  if (owns_objects_)
    for (Item& item : Items()) delete item.object;
}

void TStringList::ReleaseObject(TObject* object) {
  if (owns_objects_) delete object;
}

void TStringList::CheckUnsorted() const {
  if (sorted_) throw EStringListError(kSortedListError);
}

void TStringList::SetSorted(bool value) {
  if (sorted_ == value) return;
  if (value) Sort();
  sorted_ = value;
}

bool TStringList::Find(const std::string& s, int& index) const {
  const auto& items = Items();
  if (!sorted_) {
    index = IndexOf(s);
    return index >= 0;
  }
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int c = CompareStrings(items[static_cast<size_t>(mid)].text, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        // With dupAccept the first of equal strings is reported.
        if (duplicates_ != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TStringList::Sort() {
  CustomSort([](const TStringList& list, int a, int b) {
    return list.CompareStrings(list.Items()[static_cast<size_t>(a)].text,
                               list.Items()[static_cast<size_t>(b)].text);
  });
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& compare) {
  if (Count() < 2) return;
  Changing();
  // Sort a permutation so the comparison sees the list as it was.
  std::vector<int> order(static_cast<size_t>(Count()));
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(order.size());
  for (int i : order) sorted.push_back(Items()[static_cast<size_t>(i)]);
  Items().swap(sorted);
  Changed();
}

int TStringList::AddObject(const std::string& s, TObject* object) {
  if (!sorted_) return TStrings::AddObject(s, object);
  int index;
  if (Find(s, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) throw EStringListError("String list does not allow duplicates");
  }
  Changing();
  InsertItem(index, s, object);
  Changed();
  return index;
}

void TStringList::InsertObject(int index, const std::string& s, TObject* object) {
  CheckUnsorted();
  TStrings::InsertObject(index, s, object);
}

void TStringList::SetStrings(int index, const std::string& value) {
  CheckUnsorted();
  TStrings::SetStrings(index, value);
}

void TStringList::Exchange(int index1, int index2) {
  CheckUnsorted();
  TStrings::Exchange(index1, index2);
}

void TStringList::Move(int current_index, int new_index) {
  CheckUnsorted();
  TStrings::Move(current_index, new_index);
}

int TStringList::IndexOf(const std::string& s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == CaseSensitive()) return;
  TStrings::SetCaseSensitive(value);
  if (sorted_) Sort();
}

}  // namespace dataset
