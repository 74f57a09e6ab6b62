#include "app/visible.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "profiles/validate.h"

namespace remote::app {

namespace {

// Case mapping comes from the C library's UTF-8 tables, independent of the
// process locale.
locale_t utf8_locale() {
  static const locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l != static_cast<locale_t>(nullptr) ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  }();
  return loc;
}

// Decodes one code point at `i`; its length, or 0 when the bytes there are
// not valid UTF-8.
std::size_t decode(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t len = 0;
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  if ((c & 0xE0) == 0xC0) len = 2, cp = c & 0x1Fu;
  else if ((c & 0xF0) == 0xE0) len = 3, cp = c & 0x0Fu;
  else if ((c & 0xF8) == 0xF0) len = 4, cp = c & 0x07u;
  else return 0;
  if (s.size() - i < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3Fu);
  }
  static constexpr char32_t min_for_len[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < min_for_len[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void encode(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string lower_case(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t len = decode(text, i, cp);
    if (len == 0) {
      out.push_back(text[i++]);
      continue;
    }
    if (cp < 0x80) {
      out.push_back(cp >= 'A' && cp <= 'Z' ? static_cast<char>(cp - 'A' + 'a') : static_cast<char>(cp));
    } else {
      encode(static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), utf8_locale())), out);
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
  for (const auto& r : rows) out.push_back(r.profile);
  return out;
}

}  // namespace remote::app
