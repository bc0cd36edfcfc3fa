#pragma once
// A small value-type tree of named elements with attributes, text and
// children, and the writer that turns it into one line of markup: every
// start tag, attribute and child separated by tabs, no indentation, no
// declaration. Text and attribute values are escaped as they are written;
// names and comment text are written as they are.
#include <cstdint>
#include <vector>

#include "base/types.h"

class Xml_Attribute {
 public:
  Xml_Attribute() = default;
  Xml_Attribute(const wchar_t* name, const wchar_t* val);
  // Holds only values; virtual so a derived attribute is dropped whole.
  virtual ~Xml_Attribute() = default;
  Xml_Attribute(const Xml_Attribute&) = default;
  Xml_Attribute& operator=(const Xml_Attribute&) = default;
  Xml_Attribute(Xml_Attribute&&) noexcept = default;
  Xml_Attribute& operator=(Xml_Attribute&&) noexcept = default;

  // Replace both fields; true.
  virtual bool SetAttribute(const wstring& name, const wstring& val);
  virtual bool SetAttribute(const wchar_t* name, const wchar_t* val);
  virtual wstring GetName() const;
  virtual wstring GetValue() const;

 private:
  friend class Xml_E;  // the writer reads a stored attribute's fields directly
  wstring name_;
  wstring value_;
};

// One element. Children are held by value: adding one stores a copy and
// every read returns a copy, so no element is shared between two places.
// The operations reach one another through the virtual slots, so a derived
// element that overrides one of them changes what the others see.
class Xml_E {
 public:
  // `name` "" makes the unnamed, empty element; "---" marks a comment.
  explicit Xml_E(const wchar_t* name);
  // Holds only values; virtual so a derived element is dropped whole.
  virtual ~Xml_E() = default;
  Xml_E(const Xml_E&) = default;
  Xml_E& operator=(const Xml_E&) = default;
  // A vector of children grows by moving them, not by copying subtrees.
  Xml_E(Xml_E&&) noexcept = default;
  Xml_E& operator=(Xml_E&&) noexcept = default;

  // Empties all four fields; true.
  virtual bool Clear();
  // No name, no text, no attributes, no children.
  virtual bool IsEmpty() const;
  virtual bool SetName(const wstring& name);
  virtual bool SetName(const wchar_t* name);
  virtual bool SetText(const wstring& text);
  virtual bool SetText(const wchar_t* text);
  // Makes this a comment holding tab, `cmt`, tab, with the second hyphen of
  // every "--" turned into a tab so the text can never end the comment.
  virtual bool SetComment(const wchar_t* cmt);
  virtual bool SetComment(const wstring& cmt);
  // Appends, also when an attribute of that name exists; true.
  virtual bool AddAttribute(const wchar_t* attN, const wchar_t* value);
  virtual bool AddAttribute(const wstring& attN, const wstring& value);
  virtual wstring GetName() const;
  virtual wstring GetText() const;
  virtual bool IsComment() const;
  virtual std::int32_t GetAttributeCount() const;
  // Value of the first attribute of exactly that name; empty when none.
  virtual wstring GetAttribute(const wchar_t* attrName) const;
  virtual wstring GetAttribute(const wstring& attrName) const;
  // The attribute at `index`; an empty one when out of range.
  virtual Xml_Attribute GetAttribute(std::int32_t index) const;
  // Stores a copy of a named element; an unnamed one dissolves: its children
  // are added in its place, its text and attributes dropped. True.
  virtual bool AddChild(const Xml_E& ch);
  // The same for an element given away: a plain element takes it over
  // instead of copying its subtree; any other goes through the slot above.
  bool AddChild(Xml_E&& ch);
  virtual std::int32_t GetChildCount() const;
  // A copy of the child at `index`; Xml_E("") when out of range.
  virtual Xml_E GetChild(std::int32_t index) const;
  // The first descendant of that name, depth first in document order;
  // Xml_E("") when none.
  virtual Xml_E GetChildElement(const wchar_t* name) const;
  virtual Xml_E GetChildElement(const wstring& name) const;
  // This element when it has that name, else GetChildElement.
  virtual Xml_E GetElement(const wchar_t* name) const;
  virtual Xml_E GetElement(const wstring& name) const;
  // The markup of this element and its subtree.
  virtual wstring ToText() const;
  // The children's markup joined by single tabs; empty without children.
  virtual wstring Child_ToText() const;

 private:
  wstring name_;
  wstring text_;
  std::vector<Xml_Attribute> attributes_;
  std::vector<Xml_E> children_;
};

// `text` with '&', '<' and '>' (and in attribute values '"' too) written as
// character references, so no name from the file system can become markup.
enum class XmlEscape { Text, AttributeValue };
wstring Xml_Escape(const wstring& text, XmlEscape where);
