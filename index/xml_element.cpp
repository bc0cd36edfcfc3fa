#include "index/xml_element.h"

#include <typeinfo>
#include <utility>

#include "base/progress.h"
#include "base/strings.h"

Xml_Attribute::Xml_Attribute(const wchar_t* name, const wchar_t* val) : name_(name), value_(val) {}

bool Xml_Attribute::SetAttribute(const wstring& name, const wstring& val) {
  name_ = name;
  value_ = val;
  return true;
}

bool Xml_Attribute::SetAttribute(const wchar_t* name, const wchar_t* val) {
  name_ = name;
  value_ = val;
  return true;
}

wstring Xml_Attribute::GetName() const { return name_; }

wstring Xml_Attribute::GetValue() const { return value_; }

namespace {

// A stored child or attribute is always of the base class itself (they are
// held by value), so only the element written first can be of a derived one.
bool IsPlain(const Xml_E& e) { return typeid(e) == typeid(Xml_E); }

const wchar_t kCommentName[] = L"---";

// Appends `text` with its markup characters replaced; the runs between them
// go in whole.
void AppendEscaped(wstring& out, const wstring& text, XmlEscape where) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t* ref = nullptr;
    switch (text[i]) {
      case L'&': ref = L"&amp;"; break;
      case L'<': ref = L"&lt;"; break;
      case L'>': ref = L"&gt;"; break;
      case L'"':
        if (where == XmlEscape::AttributeValue) ref = L"&quot;";
        break;
      default: break;
    }
    if (ref == nullptr) continue;
    out.append(text, run, i - run);
    out += ref;
    run = i + 1;
  }
  out.append(text, run, wstring::npos);
}

}  // namespace

wstring Xml_Escape(const wstring& text, XmlEscape where) {
  wstring out;
  out.reserve(text.size());
  AppendEscaped(out, text, where);
  return out;
}

Xml_E::Xml_E(const wchar_t* name) : name_(name) {}

bool Xml_E::Clear() {
  name_.clear();
  text_.clear();
  attributes_.clear();
  children_.clear();
  return true;
}

bool Xml_E::IsEmpty() const {
  return name_.empty() && text_.empty() && attributes_.empty() && children_.empty();
}

bool Xml_E::SetName(const wstring& name) {
  name_ = name;
  return true;
}

bool Xml_E::SetName(const wchar_t* name) {
  name_ = name;
  return true;
}

bool Xml_E::SetText(const wstring& text) {
  text_ = text;
  return true;
}

bool Xml_E::SetText(const wchar_t* text) {
  text_ = text;
  return true;
}

bool Xml_E::SetComment(const wchar_t* cmt) {
  SetName(kCommentName);
  wstring text = L"\t" + wstring(cmt) + L"\t";
  // A run of hyphens keeps every other one: "---" becomes "-", tab, "-".
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t i = text.find(L"--", pos);
    if (i == wstring::npos) break;
    text[i + 1] = L'\t';
    pos = i + 1;
  }
  return SetText(text);
}

bool Xml_E::SetComment(const wstring& cmt) { return SetComment(cmt.c_str()); }

bool Xml_E::AddAttribute(const wchar_t* attN, const wchar_t* value) {
  attributes_.emplace_back(attN, value);
  return true;
}

bool Xml_E::AddAttribute(const wstring& attN, const wstring& value) {
  return AddAttribute(attN.c_str(), value.c_str());
}

wstring Xml_E::GetName() const { return name_; }

wstring Xml_E::GetText() const { return text_; }

bool Xml_E::IsComment() const { return GetName() == kCommentName; }

std::int32_t Xml_E::GetAttributeCount() const { return static_cast<std::int32_t>(attributes_.size()); }

wstring Xml_E::GetAttribute(const wchar_t* attrName) const {
  for (const Xml_Attribute& a : attributes_) {
    if (a.GetName() == attrName) return a.GetValue();
  }
  return wstring();
}

wstring Xml_E::GetAttribute(const wstring& attrName) const { return GetAttribute(attrName.c_str()); }

Xml_Attribute Xml_E::GetAttribute(std::int32_t index) const {
  if (index < 0 || index >= GetAttributeCount()) return Xml_Attribute();
  return attributes_[static_cast<std::size_t>(index)];
}

bool Xml_E::AddChild(const Xml_E& ch) {
  if (!ch.GetName().empty()) {
    children_.push_back(ch);
    return true;
  }
  // An unnamed element is a group: its children come in its place.
  for (std::int32_t i = 0; i < ch.GetChildCount(); ++i) AddChild(ch.GetChild(i));
  return true;
}

bool Xml_E::AddChild(Xml_E&& ch) {
  if (!IsPlain(*this) || !IsPlain(ch) || &ch == this) return AddChild(static_cast<const Xml_E&>(ch));
  if (!ch.name_.empty()) {
    children_.push_back(std::move(ch));
    return true;
  }
  for (Xml_E& grandchild : ch.children_) AddChild(std::move(grandchild));
  return true;
}

std::int32_t Xml_E::GetChildCount() const { return static_cast<std::int32_t>(children_.size()); }

Xml_E Xml_E::GetChild(std::int32_t index) const {
  if (index < 0 || index >= GetChildCount()) return Xml_E(L"");
  return children_[static_cast<std::size_t>(index)];
}

Xml_E Xml_E::GetChildElement(const wchar_t* name) const {
  const std::int32_t count = GetChildCount();
  MessageCon progress(L"Xml_E::GetElement ...", static_cast<std::uint32_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    progress.SetBarInc();
    const Xml_E found = GetChild(i).GetElement(name);
    if (found.GetName() == name) {
      progress.Reset();
      return found;
    }
  }
  progress.Reset();
  return Xml_E(L"");
}

Xml_E Xml_E::GetChildElement(const wstring& name) const { return GetChildElement(name.c_str()); }

Xml_E Xml_E::GetElement(const wchar_t* name) const {
  if (GetName() == name) return *this;
  return GetChildElement(name);
}

Xml_E Xml_E::GetElement(const wstring& name) const { return GetElement(name.c_str()); }

wstring Xml_E::Child_ToText() const {
  const std::int32_t count = GetChildCount();
  if (count == 0) return wstring();
  std::vector<wstring> texts;
  texts.reserve(static_cast<std::size_t>(count));
  if (IsPlain(*this)) {
    for (const Xml_E& child : children_) texts.push_back(child.ToText());
  } else {
    for (std::int32_t i = 0; i < count; ++i) texts.push_back(GetChild(i).ToText());
  }
  return String_Join(texts, L'\t');
}

wstring Xml_E::ToText() const {
  // An element of this very class has no slot overridden: its fields are
  // what the slots would return, so they are read in place rather than as
  // copies. Any other element is read through its slots.
  const bool plain = IsPlain(*this);
  wstring nameCopy;
  wstring textCopy;
  const wstring& name = plain ? name_ : (nameCopy = GetName());
  const wstring& text = plain ? text_ : (textCopy = GetText());
  if (name.empty() && text.empty()) return Child_ToText();
  if (name.empty()) return Xml_Escape(text, XmlEscape::Text);
  if (plain ? name == kCommentName : IsComment()) {
    // Comment text is kept as it is: SetComment already broke up every "--".
    wstring out = L"<!--" + text + L"-->";
    if (GetChildCount() > 0) {
      out += L"\r\n<!--";
      out += Child_ToText();
      out += L"-->";
    }
    return out;
  }
  const wstring children = Child_ToText();
  wstring out;
  out.reserve(2 * name.size() + text.size() + children.size() + 16);
  out += L'<';
  out += name;
  out += L'\t';
  const std::int32_t attributeCount = GetAttributeCount();
  Xml_Attribute attributeCopy;
  for (std::int32_t i = 0; i < attributeCount; ++i) {
    // A returned attribute is a plain copy, so its fields are its slots.
    const Xml_Attribute& a = plain ? attributes_[static_cast<std::size_t>(i)] : (attributeCopy = GetAttribute(i));
    out += a.name_;
    out += L"=\"";
    AppendEscaped(out, a.value_, XmlEscape::AttributeValue);
    out += L"\"\t";
  }
  const bool wroteText = !text.empty();
  if (wroteText) {
    out += L'>';
    AppendEscaped(out, text, XmlEscape::Text);
  }
  if (!children.empty()) {
    if (!wroteText) out += L'>';
    out += L"\t\t";
    out += children;
    out += L"\t</";
    out += name;
    out += L'>';
  } else if (wroteText) {
    out += L"</";
    out += name;
    out += L'>';
  } else {
    out += L"/>";
  }
  return out;
}
