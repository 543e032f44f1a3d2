// Texts of lines of tab-separated fields, as the queue's line messages travel
// between the service and the database ("ImportFilesErros", resume marks).
//
// Thread-safety: a pure function; safe from any thread.
#ifndef ZUN_FOUNDATION_TAB_FIELDS_H_
#define ZUN_FOUNDATION_TAB_FIELDS_H_

#include <cstddef>
#include <string>
#include <vector>

namespace zun {

// Calls fields(v) with the tab-separated fields of each line of text (lines
// end with "\n"; the last may lack it) until fields answers false. An empty
// line gives one empty field.
template <typename Fields>
void ParaCadaLinhaDeCampos(const std::string& text, Fields fields) {
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> v;
    for (size_t i = at; i <= end;) {
      size_t tab = text.find('\t', i);
      if (tab == std::string::npos || tab > end) tab = end;
      v.push_back(text.substr(i, tab - i));
      i = tab + 1;
    }
    at = end + 1;
    if (!fields(v)) return;
  }
}

}  // namespace zun

#endif  // ZUN_FOUNDATION_TAB_FIELDS_H_
