#include "index/xml_element.h"

#include <utility>

#include <gtest/gtest.h>

namespace {

Xml_E Named(const wchar_t* name, const wchar_t* text = L"") {
  Xml_E e(name);
  e.SetText(text);
  return e;
}

Xml_E WithChildren(Xml_E e, std::initializer_list<Xml_E> children) {
  for (const Xml_E& c : children) e.AddChild(c);
  return e;
}

Xml_E Comment(const wchar_t* text) {
  Xml_E e(L"");
  e.SetComment(text);
  return e;
}

// An element of a derived class that overrides nothing: the writer then
// takes its general road through the slots, and must write what it writes
// for a plain element.
class Derived : public Xml_E {
 public:
  explicit Derived(const Xml_E& e) : Xml_E(e) {}
};

// Text of `e` written both ways; they must agree.
wstring BothWays(const Xml_E& e) {
  const wstring plain = e.ToText();
  EXPECT_EQ(Derived(e).ToText(), plain);
  return plain;
}

TEST(XmlE, WriterRules) {
  Xml_E meta(L"meta");
  meta.AddAttribute(L"charset", L"UTF-8");
  Xml_E link = Named(L"a", L"../");
  link.AddAttribute(L"href", L"..");
  Xml_E br1(L"br");
  br1.AddAttribute(L"x", L"1");
  Xml_E unnamedText = WithChildren(Named(L"", L"T"), {Named(L"x")});
  Xml_E unnamedGroup(L"");
  unnamedGroup.AddChild(Named(L"x"));
  unnamedGroup.AddChild(Named(L"y"));
  struct Row {
    Xml_E element;
    const wchar_t* want;
  };
  const Row rows[] = {
      {Named(L"br"), L"<br\t/>"},
      {br1, L"<br\tx=\"1\"\t/>"},
      {meta, L"<meta\tcharset=\"UTF-8\"\t/>"},
      {Named(L"title", L"docs"), L"<title\t>docs</title>"},
      {link, L"<a\thref=\"..\"\t>../</a>"},
      {WithChildren(Named(L"head"), {Named(L"x"), Named(L"y")}), L"<head\t>\t\t<x\t/>\t<y\t/>\t</head>"},
      {WithChildren(Named(L"p", L"T"), {Named(L"x")}), L"<p\t>T\t\t<x\t/>\t</p>"},
      {Comment(L"abc"), L"<!--\tabc\t-->"},
      {Comment(L"a--b"), L"<!--\ta-\tb\t-->"},
      {Comment(L""), L"<!--\t\t-->"},
      {WithChildren(Comment(L"c"), {Named(L"x")}), L"<!--\tc\t-->\r\n<!--<x\t/>-->"},
      {unnamedText, L"T"},
      {unnamedGroup, L"<x\t/>\t<y\t/>"},
      {Named(L""), L""},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(BothWays(rows[i].element), rows[i].want);
  }
}

TEST(XmlE, ChildTextIsJoinedByTabs) {
  Xml_E head = WithChildren(Named(L"head"), {Named(L"x"), Named(L"y")});
  EXPECT_EQ(head.Child_ToText(), L"<x\t/>\t<y\t/>");
  EXPECT_EQ(Named(L"empty").Child_ToText(), L"");
}

TEST(XmlE, TextAndAttributeValuesAreEscaped) {
  struct Row {
    const wchar_t* value;
    const wchar_t* asText;
    const wchar_t* asAttribute;
  };
  const Row rows[] = {
      {L"a&b", L"a&amp;b", L"a&amp;b"},       {L"<b>", L"&lt;b&gt;", L"&lt;b&gt;"},
      {L"a\"b", L"a\"b", L"a&quot;b"},        {L"it's", L"it's", L"it's"},
      {L"&amp;", L"&amp;amp;", L"&amp;amp;"}, {L"caf\u00E9 #%+", L"caf\u00E9 #%+", L"caf\u00E9 #%+"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.value);
    EXPECT_EQ(BothWays(Named(L"t", r.value)), wstring(L"<t\t>") + r.asText + L"</t>");
    EXPECT_EQ(BothWays(Named(L"", r.value)), r.asText);
    Xml_E e(L"a");
    e.AddAttribute(L"href", r.value);
    EXPECT_EQ(BothWays(e), wstring(L"<a\thref=\"") + r.asAttribute + L"\"\t/>");
  }
}

TEST(XmlE, CommentTextIsNotEscapedAndHyphenRunsAreBroken) {
  struct Row {
    const wchar_t* comment;
    const wchar_t* stored;
  };
  const Row rows[] = {
      {L"", L"\t\t"},          {L"a--b", L"\ta-\tb\t"}, {L"---", L"\t-\t-\t"}, {L"----", L"\t-\t-\t\t"},
      {L"x-->", L"\tx-\t>\t"}, {L"<&>", L"\t<&>\t"},    {L"-", L"\t-\t"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.comment);
    const Xml_E c = Comment(r.comment);
    EXPECT_TRUE(c.IsComment());
    EXPECT_EQ(c.GetName(), L"---");
    EXPECT_EQ(c.GetText(), r.stored);
    EXPECT_EQ(c.ToText(), wstring(L"<!--") + r.stored + L"-->");
  }
}

TEST(XmlE, UnnamedChildrenDissolve) {
  Xml_E group(L"");
  group.SetText(L"dropped");
  group.AddAttribute(L"dropped", L"1");
  // The group keeps what it is given; it dissolves only when it is added.
  group.AddChild(Named(L"a"));
  group.AddChild(Named(L"b"));
  Xml_E nested(L"");
  nested.AddChild(Named(L"c"));
  group.AddChild(nested);

  Xml_E parent(L"p");
  parent.AddChild(group);
  ASSERT_EQ(parent.GetChildCount(), 3);
  EXPECT_EQ(parent.GetChild(0).GetName(), L"a");
  EXPECT_EQ(parent.GetChild(1).GetName(), L"b");
  EXPECT_EQ(parent.GetChild(2).GetName(), L"c");
  EXPECT_EQ(parent.GetAttributeCount(), 0);
  EXPECT_EQ(parent.GetText(), L"");

  Xml_E textOnly(L"");
  textOnly.SetText(L"T");
  parent.AddChild(textOnly);
  parent.AddChild(Xml_E(L""));
  EXPECT_EQ(parent.GetChildCount(), 3);
}

// An element handed over as a temporary is stored as a copy of it would
// be, groups dissolving the same way, whatever the nesting.
TEST(XmlE, GivenAwayChildrenAreStoredAsCopiesWouldBe) {
  const auto group = [] {
    Xml_E g(L"");
    g.SetText(L"dropped");
    g.AddChild(Named(L"a", L"1"));
    Xml_E nested(L"");
    nested.AddChild(WithChildren(Named(L"b"), {Named(L"c", L"2")}));
    nested.AddChild(Named(L"", L"text only"));
    g.AddChild(nested);
    return g;
  };
  Xml_E copied(L"p");
  const Xml_E kept = group();
  copied.AddChild(kept);
  copied.AddChild(kept.GetChild(0));
  Xml_E given(L"p");
  given.AddChild(group());
  Xml_E moved = group().GetChild(0);
  given.AddChild(std::move(moved));
  EXPECT_EQ(given.GetChildCount(), 3);
  EXPECT_EQ(BothWays(given), BothWays(copied));
  EXPECT_EQ(given.ToText(), L"<p\t>\t\t<a\t>1</a>\t<b\t>\t\t<c\t>2</c>\t</b>\t<a\t>1</a>\t</p>");
}

// A derived element that overrides AddChild sees every child added to it,
// temporaries included.
class CountingAdds : public Xml_E {
 public:
  CountingAdds() : Xml_E(L"p") {}
  bool AddChild(const Xml_E& ch) override {
    ++adds;
    return Xml_E::AddChild(ch);
  }
  int adds = 0;
};

TEST(XmlE, GivenAwayChildrenGoThroughAnOverride) {
  CountingAdds parent;
  Xml_E& asBase = parent;
  asBase.AddChild(Named(L"x"));
  Xml_E y = Named(L"y");
  asBase.AddChild(std::move(y));
  EXPECT_EQ(parent.adds, 2);
  EXPECT_EQ(parent.ToText(), L"<p\t>\t\t<x\t/>\t<y\t/>\t</p>");
}

TEST(XmlE, ChildrenAreCopies) {
  Xml_E child = Named(L"c", L"before");
  Xml_E parent(L"p");
  parent.AddChild(child);
  child.SetText(L"after");
  EXPECT_EQ(parent.GetChild(0).GetText(), L"before");
  Xml_E read = parent.GetChild(0);
  read.SetText(L"changed");
  EXPECT_EQ(parent.GetChild(0).GetText(), L"before");
  Xml_E copy = parent;
  copy.Clear();
  EXPECT_EQ(parent.GetChildCount(), 1);
}

TEST(XmlE, AttributesByNameAndIndex) {
  Xml_E e(L"e");
  e.AddAttribute(L"x", L"1");
  e.AddAttribute(wstring(L"x"), wstring(L"2"));
  EXPECT_EQ(e.GetAttributeCount(), 2);
  EXPECT_EQ(e.GetAttribute(L"x"), L"1");
  EXPECT_EQ(e.GetAttribute(wstring(L"X")), L"");
  EXPECT_EQ(e.GetAttribute(L"y"), L"");
  EXPECT_EQ(e.GetAttribute(1).GetValue(), L"2");
  for (const std::int32_t i : {-1, 2}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(e.GetAttribute(i).GetName(), L"");
    EXPECT_EQ(e.GetAttribute(i).GetValue(), L"");
  }
  EXPECT_TRUE(e.GetChild(-1).IsEmpty());
  EXPECT_TRUE(e.GetChild(0).IsEmpty());
}

TEST(XmlE, ElementSearchIsDepthFirstInDocumentOrder) {
  Xml_E b1 = WithChildren(Named(L"b", L"first"), {Named(L"c")});
  const Xml_E a = WithChildren(Named(L"a"), {b1, Named(L"b", L"second")});
  const Xml_E found = a.GetChildElement(L"b");
  EXPECT_EQ(found.GetText(), L"first");
  EXPECT_EQ(found.GetChildCount(), 1);
  EXPECT_EQ(a.GetChildElement(wstring(L"c")).GetName(), L"c");
  EXPECT_EQ(a.GetElement(L"a").GetChildCount(), 2);
  EXPECT_TRUE(a.GetChildElement(L"a").IsEmpty());
  EXPECT_TRUE(a.GetElement(wstring(L"missing")).IsEmpty());
}

TEST(XmlE, ClearAndIsEmpty) {
  Xml_E e = WithChildren(Named(L"e", L"t"), {Named(L"c")});
  e.AddAttribute(L"x", L"1");
  EXPECT_FALSE(e.IsEmpty());
  EXPECT_TRUE(e.Clear());
  EXPECT_TRUE(e.IsEmpty());
  EXPECT_EQ(e.ToText(), L"");
  Xml_E attrOnly(L"");
  attrOnly.AddAttribute(L"x", L"1");
  EXPECT_FALSE(attrOnly.IsEmpty());
  EXPECT_TRUE(Xml_E(L"").IsEmpty());
}

// The writer asks the element through its slots, so an override is seen.
class UpperName : public Xml_E {
 public:
  UpperName() : Xml_E(L"x") {}
  wstring GetName() const override { return L"X"; }
  wstring GetText() const override { return L"t"; }
};

TEST(XmlE, WriterReadsThroughTheSlots) {
  const UpperName e;
  EXPECT_EQ(e.ToText(), L"<X\t>t</X>");
  EXPECT_FALSE(e.IsComment());
}

}  // namespace
