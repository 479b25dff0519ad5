// The text form of stored descriptions, as a syntax tree: parsing text into
// a tree and printing a tree as text. The tree knows nothing of classes or
// properties; the reader (streaming.h) gives it meaning.
//
//   object Form1: TForm1
//     Caption = 'Volantra Archive Repair Utility'
//     SQL.Strings = (
//       'select 1;'
//       '')
//     ParamData = <>
//     object Button1: TButton
//     end
//   end
//
// Values: integers (-12, $FF), floats (1.5, 2E10), strings ('it''s',
// #13#10 character codes, adjacent parts and "+" continuation), identifiers
// (True, ftInteger, dotted references such as Form1.Button1), sets
// ([a, b]), lists (( value ... )), collections (< item ... end ... >) and
// binary blocks ({ hex digits }).
#ifndef DATASET_DESCRIPTION_TEXT_H
#define DATASET_DESCRIPTION_TEXT_H

#include <cstdint>
#include <string>
#include <vector>

namespace dataset {

struct TDescProperty;

enum TDescValueKind {
  dvInteger,
  dvFloat,
  dvString,
  dvIdent,
  dvSet,
  dvList,
  dvCollection,
  dvBinary,
};

// One item of a collection value: its properties.
struct TDescItem {
  int line = 0;
  std::vector<TDescProperty> properties;
};

struct TDescValue {
  TDescValueKind kind = dvInteger;
  int line = 0;                      // Where the value starts
  int64_t integer = 0;               // dvInteger
  double real = 0;                   // dvFloat
  std::string text;                  // dvString, dvIdent; dvBinary: the bytes
  std::vector<std::string> members;  // dvSet
  std::vector<TDescValue> elements;  // dvList
  std::vector<TDescItem> items;      // dvCollection
};

struct TDescProperty {
  std::string name;  // Possibly dotted: "SQL.Strings"
  TDescValue value;
  int line = 0;
};

enum TDescObjectKind { dkObject, dkInherited, dkInline };

struct TDescObject {
  TDescObjectKind kind = dkObject;
  std::string name;  // May be empty
  std::string class_name;
  int index = -1;  // The optional "[n]" after the class name
  int line = 0;
  std::vector<TDescProperty> properties;
  std::vector<TDescObject> children;
};

// Parses a whole description (one object block, then only white space).
// Raises EReadError "Line N: ..." for malformed text.
TDescObject ParseDescription(const std::string& text);

// Prints a description in the text form above, two spaces per level, with a
// line break after every line.
std::string PrintDescription(const TDescObject& object);

}  // namespace dataset

#endif  // DATASET_DESCRIPTION_TEXT_H
