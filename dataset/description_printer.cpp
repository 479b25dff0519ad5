// Prints a TDescObject tree in the text form of stored descriptions.
#include <cstdio>

#include "dataset/description_text.h"
#include "dataset/text.h"

namespace dataset {

namespace {

// Longer strings are split into parts joined with "+" on further lines.
constexpr size_t kStringPartLength = 64;
// Bytes of binary data per line.
constexpr size_t kBinaryBytesPerLine = 32;

std::string Indent(int level) {
  return std::string(static_cast<size_t>(level) * 2, ' ');
}

// One part of a string: printable runs in quotes, other characters as #n.
std::string QuotePart(const std::string& s) {
  if (s.empty()) return "''";
  std::string out;
  bool in_quotes = false;
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) {
      if (in_quotes) out += '\'';
      in_quotes = false;
      out += "#" + std::to_string(u);
    } else {
      if (!in_quotes) out += '\'';
      in_quotes = true;
      out += c;
      if (c == '\'') out += '\'';
    }
  }
  if (in_quotes) out += '\'';
  return out;
}

std::string QuoteString(const std::string& s, int level) {
  if (s.size() <= kStringPartLength) return QuotePart(s);
  std::string out;
  for (size_t i = 0; i < s.size(); i += kStringPartLength) {
    if (i) out += " +\n" + Indent(level + 1);
    out += QuotePart(s.substr(i, kStringPartLength));
  }
  return out;
}

std::string FloatText(double v) {
  std::string t = FloatToStr(v);
  // Keep floats distinguishable from integers when read back.
  if (t.find_first_of(".EN") == std::string::npos) t += ".0";
  return t;
}

class Printer {
 public:
  std::string Print(const TDescObject& root) {
    PrintObject(root, 0);
    return out_;
  }

 private:
  void Line(int level, const std::string& text) { out_ += Indent(level) + text + "\n"; }

  void PrintObject(const TDescObject& obj, int level) {
    std::string head = obj.kind == dkObject      ? "object "
                       : obj.kind == dkInherited ? "inherited "
                                                 : "inline ";
    head += obj.name.empty() ? obj.class_name : obj.name + ": " + obj.class_name;
    if (obj.index >= 0) head += " [" + std::to_string(obj.index) + "]";
    Line(level, head);
    for (const TDescProperty& p : obj.properties) PrintProperty(p, level + 1);
    for (const TDescObject& child : obj.children) PrintObject(child, level + 1);
    Line(level, "end");
  }

  void PrintProperty(const TDescProperty& p, int level) {
    out_ += Indent(level) + p.name + " = ";
    PrintValue(p.value, level);
    out_ += "\n";
  }

  // Prints a value starting at the current position; continuation lines are
  // indented one level deeper than `level`.
  void PrintValue(const TDescValue& v, int level) {
    switch (v.kind) {
      case dvInteger:
        out_ += std::to_string(v.integer);
        break;
      case dvFloat:
        out_ += FloatText(v.real);
        break;
      case dvString:
        out_ += QuoteString(v.text, level);
        break;
      case dvIdent:
        out_ += v.text;
        break;
      case dvSet: {
        out_ += "[";
        for (size_t i = 0; i < v.members.size(); ++i) out_ += (i ? ", " : "") + v.members[i];
        out_ += "]";
        break;
      }
      case dvList: {
        out_ += "(";
        for (const TDescValue& e : v.elements) {
          out_ += "\n" + Indent(level + 1);
          PrintValue(e, level + 1);
        }
        out_ += ")";
        break;
      }
      case dvCollection: {
        out_ += "<";
        for (const TDescItem& item : v.items) {
          out_ += "\n";
          Line(level + 1, "item");
          for (const TDescProperty& p : item.properties) PrintProperty(p, level + 2);
          out_ += Indent(level + 1) + "end";
        }
        out_ += ">";
        break;
      }
      case dvBinary: {
        out_ += "{";
        static const char kHex[] = "0123456789ABCDEF";
        for (size_t i = 0; i < v.text.size(); ++i) {
          if (i % kBinaryBytesPerLine == 0) out_ += "\n" + Indent(level + 1);
          unsigned char b = static_cast<unsigned char>(v.text[i]);
          out_ += kHex[b >> 4];
          out_ += kHex[b & 15];
        }
        out_ += "}";
        break;
      }
    }
  }

  std::string out_;
};

}  // namespace

std::string PrintDescription(const TDescObject& object) {
  return Printer().Print(object);
}

}  // namespace dataset
