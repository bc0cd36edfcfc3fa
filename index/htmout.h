#pragma once
// The ready HTML elements the index page is made of: the root, the two meta
// elements, the title, comments (among them the build comment every page
// carries), line break, rule and links. Each call makes a new element.
#include "base/types.h"
#include "index/xml_element.h"

namespace HtmOut {

// <html lang="ja">
Xml_E html();
// <meta charset="UTF-8">
Xml_E charset_UTF_8();
// <meta name="viewport" content="width=device-width,initial-scale=1.0">
Xml_E meta_viewport();
// A title holding `name`; for an empty name the unnamed, empty element,
// which AddChild drops, so no empty title is ever written.
Xml_E title(const wstring& name);
// A comment holding `cmmnt` as SetComment stores it.
Xml_E comment(const wstring& cmmnt);
// The build comment: this library's name, version and source stamp, the
// program's build time and full path, the time now, the author's site and
// address; one line each, CR LF ended.
Xml_E comment();
Xml_E br();
Xml_E hr();
// A link to `ref` showing `text` (one space when `text` is empty, so every
// link has an end tag). The target is percent-encoded from the original
// bytes of the name, so any file name is a working link; the shown text
// stays plain and is escaped when written.
Xml_E a(const wstring& ref, const wstring& text);
Xml_E a(const wstring& name);
// The link one folder up: target "..", text "../".
Xml_E a_parent();

// `ref` as a URL path: every byte of its file-system form other than
// letters, digits, "-._~", "/" and "!$&'()*,;=:@" becomes %XX. A ':' before
// the first '/' is encoded too, so a name like "javascript:x" stays a
// relative link and is never taken for a scheme.
wstring Url_encode_path(const wstring& ref);

}  // namespace HtmOut
