#include "app/visible.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "core/utf8.h"
#include "profiles/validate.h"

namespace remote::app {

namespace {

// Case mapping comes from the C library's UTF-8 tables, independent of the
// process locale.
locale_t utf8_locale() {
  static const locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l != static_cast<locale_t>(nullptr)
               ? l
               : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  }();
  return loc;
}

}  // namespace

std::string lower_case(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t len = kova::utf8::decode_one(text, i, cp);
    if (len == 0) {
      out.push_back(text[i++]);
      continue;
    }
    if (cp < 0x80) {
      out.push_back(cp >= 'A' && cp <= 'Z' ? static_cast<char>(cp - 'A' + 'a')
                                           : static_cast<char>(cp));
    } else {
      kova::utf8::append(out,
                         static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), utf8_locale())));
    }
    i += len;
  }
  return out;
}

std::vector<const profiles::ConnectionProfile*> visible_connections(
    const std::vector<profiles::ConnectionProfile>& all, std::string_view search_text) {
  const std::string query = lower_case(profiles::trim(search_text));
  struct Row {
    const profiles::ConnectionProfile* profile;
    std::string key;
    std::size_t order;  // position in `all`: ties keep it
  };
  std::vector<Row> rows;
  for (const auto& p : all) {
    const auto matches = [&](std::string_view field) {
      return lower_case(field).find(query) != std::string::npos;
    };
    if (query.empty() || matches(p.name) || matches(p.host) || matches(p.user) ||
        matches(p.group) || matches(profiles::kind_document_text(p.kind))) {
      rows.push_back({&p, lower_case(p.name), rows.size()});
    }
  }
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    if (a.profile->favorite != b.profile->favorite) return a.profile->favorite;
    if (a.key != b.key) return a.key < b.key;  // std::string compares as unsigned bytes
    return a.order < b.order;
  });
  std::vector<const profiles::ConnectionProfile*> out;
  out.reserve(rows.size());
  for (const auto& r : rows)
    out.push_back(r.profile);
  return out;
}

}  // namespace remote::app
