#include "index/xml_element.h"

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

wstring Xml_Escape(const wstring& text, XmlEscape where) {
  wstring out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    switch (c) {
      case L'&':
        out += L"&amp;";
        break;
      case L'<':
        out += L"&lt;";
        break;
      case L'>':
        out += L"&gt;";
        break;
      case L'"':
        out += where == XmlEscape::AttributeValue ? L"&quot;" : L"\"";
        break;
      default:
        out += c;
    }
  }
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
  SetName(L"---");
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

bool Xml_E::IsComment() const { return GetName() == L"---"; }

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
  for (std::int32_t i = 0; i < count; ++i) texts.push_back(GetChild(i).ToText());
  return String_Join(texts, L'\t');
}

wstring Xml_E::ToText() const {
  const wstring name = GetName();
  const wstring text = GetText();
  if (name.empty() && text.empty()) return Child_ToText();
  if (name.empty()) return Xml_Escape(text, XmlEscape::Text);
  if (IsComment()) {
    // Comment text is kept as it is: SetComment already broke up every "--".
    wstring out = L"<!--" + text + L"-->";
    if (GetChildCount() > 0) out += L"\r\n<!--" + Child_ToText() + L"-->";
    return out;
  }
  wstring out = L"<" + name + L"\t";
  for (std::int32_t i = 0; i < GetAttributeCount(); ++i) {
    const Xml_Attribute a = GetAttribute(i);
    out += a.GetName() + L"=\"" + Xml_Escape(a.GetValue(), XmlEscape::AttributeValue) + L"\"\t";
  }
  const bool wroteText = !text.empty();
  if (wroteText) out += L">" + Xml_Escape(text, XmlEscape::Text);
  const wstring children = Child_ToText();
  const bool wroteChildren = !children.empty();
  if (wroteChildren) {
    if (!wroteText) out += L">";
    out += L"\t\t" + children;
  }
  if (wroteChildren) {
    out += L"\t</" + name + L">";
  } else if (wroteText) {
    out += L"</" + name + L">";
  } else {
    out += L"/>";
  }
  return out;
}
