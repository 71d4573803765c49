#include "net/request_target.h"

#include <optional>
#include <string_view>

namespace {

constexpr std::uint16_t kHttpsPort = 443;

bool StartsWithIgnoringAsciiCase(std::u16string_view text,
                                 std::u16string_view lower_prefix) {
  if (text.size() < lower_prefix.size()) return false;
  for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c += u'a' - u'A';
    if (c != lower_prefix[i]) return false;
  }
  return true;
}

// A port of one to five digits from 1 to 65535, or 0.
std::uint16_t ReadPort(const char16_t* digits, std::size_t count) {
  if (count == 0 || count > 5) return 0;
  std::uint32_t port = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (digits[i] < u'0' || digits[i] > u'9') return 0;
    port = port * 10 + (digits[i] - u'0');
  }
  return port > 0xFFFF ? 0 : port;
}

}  // namespace

bool HttpsRedirectTarget(char16_t* location,
                         char16_t (&host)[kMaxHostCharacters + 1],
                         RequestTarget& target) {
  std::u16string_view text(location);
  for (char16_t c : text) {
    if (c <= u' ' || c == 0x7F) return false;
  }
  if (text.empty()) return false;
  // Where the address's host begins; 0: a path on the same server. (Views
  // are cut by hand, all within the text: substr would check it again.)
  std::size_t authority = StartsWithIgnoringAsciiCase(text, u"https://") ? 8
                          : text.size() > 1 && text[0] == u'/' &&
                                  text[1] == u'/'
                              ? 2
                              : 0;
  if (authority == 0 && text[0] != u'/') return false;
  std::size_t path = text.find(u'/', authority);
  if (path == std::u16string_view::npos) return false;
  RequestTarget to = target;
  if (authority) {
    std::u16string_view name(location + authority, path - authority);
    std::size_t colon = name.find(u':');
    to.port = kHttpsPort;
    if (colon != std::u16string_view::npos) {
      to.port = ReadPort(name.data() + colon + 1, name.size() - colon - 1);
      name.remove_suffix(name.size() - colon);
    }
    if (name.empty() || name.size() > kMaxHostCharacters || to.port == 0) {
      return false;
    }
    for (char16_t c : name) {  // a DNS name: letters, digits, dots, hyphens
      char16_t lower = c | 0x20;   // for letters, and only for them
      if (!(lower >= u'a' && lower <= u'z') && !(c >= u'0' && c <= u'9') &&
          c != u'.' && c != u'-') {
        return false;
      }
    }
    for (std::size_t i = 0; i < name.size(); ++i) host[i] = name[i];
    host[name.size()] = u'\0';
    to.host = host;
  }
  std::size_t fragment = text.find(u'#', path);
  if (fragment != std::u16string_view::npos) location[fragment] = u'\0';
  to.object = location + path;
  target = to;
  return true;
}
