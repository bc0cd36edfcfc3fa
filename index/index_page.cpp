#include "index/index_page.h"

#include <utility>
#include <vector>

#include "base/path.h"
#include "index/folder_list.h"
#include "index/htmout.h"
#include "index/xml_element.h"

wstring Make_index(const wstring& fold) { return HT_Make_index_content(fold); }

wstring HT_Make_index_content(const wstring& fold) {
  // Both listings come first, sub-folders before pages, from one reading
  // of the folder: reading a large folder is most of an answer's cost.
  const std::vector<wstring> entries = EnumFiles(fold.c_str(), true);
  const std::vector<wstring> folders = ExtractFolders(entries);
  const std::vector<wstring> pages = ExtractFiles(entries, L"*.htm*");
  // A request path ending in "/" has no last component, hence no title.
  const wstring titleText = Path_GetTitle(fold);

  Xml_E html = HtmOut::html();
  Xml_E head(L"head");
  head.AddChild(HtmOut::charset_UTF_8());
  head.AddChild(HtmOut::meta_viewport());
  head.AddChild(HtmOut::title(titleText));
  head.AddChild(HtmOut::comment());
  html.AddChild(std::move(head));

  Xml_E body(L"body");
  body.AddChild(HtmOut::a_parent());
  body.AddChild(HtmOut::hr());
  for (const wstring& folder : folders) {
    body.AddChild(HtmOut::a(Path_GetName(Path_DelLastSP(folder)) + L"/"));
    body.AddChild(HtmOut::br());
  }
  body.AddChild(HtmOut::hr());
  for (const wstring& page : pages) {
    body.AddChild(HtmOut::a(Path_GetName(page)));
    body.AddChild(HtmOut::br());
  }
  html.AddChild(std::move(body));
  return html.ToText();
}
