// Any CP932 connection text: the masking leaves a text that our own libzorv
// parses to the same pairs, with every non-empty value of a keyword naming
// a secret as "********" at every level the oracle's own parsers reach: the
// pairs, an odbc= string and its pqopt={...}, a dbname= that is itself
// pairs, a URI's password and its password query parameters. Every other
// value stays unchanged unless it holds such a nested form (an empty
// secret may be masked too).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "connection_text.h"
#include "narrow_text.h"
#include "odbc_connection_string.h"
#include "secret_masking.h"
#include "utf_codec.h"
#include "zorv_error.h"

namespace {

using zorv::secrets::kMask;

void check(bool condition) {
  if (!condition) std::abort();
}

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string utf8Of(std::string_view cp932) { return zorv::utf8FromUtf16(zorv::wideText(cp932)); }

// Whether `after` is the masked form of the secret value `before`.
bool maskedFrom(std::string_view before, std::string_view after) {
  return after == kMask || (before.empty() && after.empty());
}

// A value a nested reading may have changed.
bool mayNest(std::string_view value) {
  return value.find('=') != std::string_view::npos ||
         value.find("://") != std::string_view::npos;
}

bool isUri(std::string_view value) {
  const std::string start = lowered(value.substr(0, 13));
  return start.starts_with("postgresql://") || start.starts_with("postgres://");
}

// What the masker reported masking, in UTF-8: the values it read, each as
// the database reads it.
std::vector<std::string> maskedValues;

// A secret the masking covered: it lies inside a masked value, since a mask
// may run on over what follows a secret (two readings of one text
// overlapping).
bool covered(std::string_view secret) {
  return secret.empty() || secret == kMask ||
         std::any_of(maskedValues.begin(), maskedValues.end(),
                     [&](const std::string& value) { return value.find(secret) != std::string::npos; });
}

// A URI's parts as libpq splits them: the password between the first ':'
// and the first '@' before any '/', and the query's parameters.
struct UriParts {
  std::string password;
  std::vector<std::pair<std::string, std::string>> parameters;
};

// As libpq reads a URI: the user information runs to the first '@' before
// the first '/'; the parameters follow the first '?' after it, split at '&'
// alone, with no fragment.
UriParts uriParts(std::string_view uri) {
  UriParts parts;
  const size_t start = uri.find("://") + 3;
  const size_t end = std::min(uri.find('/', start), uri.size());
  const std::string_view authority = uri.substr(start, end - start);
  const size_t at = authority.find('@');
  if (at != std::string_view::npos) {
    const size_t colon = authority.substr(0, at).find(':');
    if (colon != std::string_view::npos) parts.password = authority.substr(colon + 1, at - colon - 1);
  }
  const size_t question = uri.find('?', at == std::string_view::npos ? start : start + at + 1);
  if (question == std::string_view::npos) return parts;
  std::string_view query = uri.substr(question + 1);
  while (!query.empty()) {
    const std::string_view parameter = query.substr(0, query.find('&'));
    const size_t equals = parameter.find('=');
    if (equals != std::string_view::npos) {
      std::string key;  // percent escapes undone
      for (size_t i = 0; i < equals; ++i) {
        if (parameter[i] == '%' && i + 2 < equals) {
          key += static_cast<char>(std::strtol(std::string(parameter.substr(i + 1, 2)).c_str(), nullptr, 16));
          i += 2;
        } else {
          key += parameter[i];
        }
      }
      parts.parameters.emplace_back(key, parameter.substr(equals + 1));
    }
    if (parameter.size() == query.size()) break;
    query.remove_prefix(parameter.size() + 1);
  }
  return parts;
}


// Every secret libpq would read in the URI was masked: a mask may run on over
// what follows a secret (two readings of one text overlapping), so a secret
// lies inside a masked value. Masks change where a URI's parts begin, so the
// masked text is not read again.
void checkUri(std::string_view before, std::string_view /*after*/) {
  const UriParts was = uriParts(before);
  check(covered(was.password));
  for (const auto& [key, value] : was.parameters) {
    if (zorv::secrets::isSecretKey(key)) check(covered(value));
  }
}

void checkPairs(std::string_view before, std::string_view after, int depth);

void checkOdbc(std::string_view before, std::string_view after, int depth) {
  const zorv::lib::odbc::OdbcConnectionString in(before), out(after);
  for (const char* secret : {"pwd", "password", "pwd2", "sslpassword", "authtoken"}) {
    for (const auto& value : in.values(secret)) check(covered(value.view()));
  }
  // A URI's reading of the same text may mask on over whole attributes;
  // where none can, every other attribute stays as it was.
  if (before.find("://") != std::string_view::npos) return;
  for (const char* kept : {"dsn", "driver", "uid", "database", "server", "port"}) {
    const auto was = in.values(kept), now = out.values(kept);
    check(was.size() == now.size());
    for (size_t i = 0; i < was.size(); ++i) check(was[i] == now[i] || mayNest(was[i].view()));
  }
  const auto was = in.values("pqopt"), now = out.values("pqopt");
  check(was.size() == now.size());
  for (size_t i = 0; i < was.size(); ++i) checkPairs(was[i].view(), now[i].view(), depth + 1);
}

// Pairs as our libzorv reads them; a nested text it refuses is not checked.
void checkPairs(std::string_view before, std::string_view after, int depth) {
  using zorv::lib::ConnectionText;
  std::vector<zorv::lib::ConnectionOption> was;
  try {
    was = ConnectionText::parse(before);
  } catch (const zorv::lib::ZorvError&) {
    check(depth > 0);  // the top level was checked by the caller
    return;
  }
  const auto now = ConnectionText::parse(after);  // throws (and fails) if broken
  check(was.size() == now.size());
  // A text that starts as a URI has its password masked up to where the
  // pairs' own syntax starts (a blank, a quote, a backslash, '='): in the
  // first keyword.
  const bool uriFirst = isUri(before);
  constexpr const char* kPairsSyntax = " \t\n\r\f\v'\\=";
  if (uriFirst) {
    checkUri(before.substr(0, before.find_first_of(kPairsSyntax)),
             after.substr(0, after.find_first_of(kPairsSyntax)));
  }
  for (size_t i = 0; i < was.size(); ++i) {
    check(was[i].keyword == now[i].keyword || (i == 0 && uriFirst));
    const std::string keyword = lowered(was[i].keyword);
    const std::string_view a = was[i].value.view(), b = now[i].value.view();
    if (zorv::secrets::isSecretKey(keyword)) {
      check(maskedFrom(a, b));
    } else if (keyword == "odbc") {
      checkOdbc(a, b, depth);
    } else if (isUri(a)) {
      checkUri(a, b);
    } else if (keyword == "dbname" && a.find('=') != std::string_view::npos) {
      checkPairs(a, b, depth + 1);
    } else {
      check(a == b || mayNest(a));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zorv::lib::ConnectionText;
  // The bridge gets a C string: the text ends at its first NUL.
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  const zorv::secrets::Masked masked = zorv::secrets::maskConnection(text);
  // Only texts that are whole CP932 characters reach the parser unchanged.
  if (zorv::narrowCopy(zorv::wideText(text)).bytes() != text) return 0;
  try {
    ConnectionText::parse(utf8Of(text));
  } catch (const zorv::lib::ZorvError&) {
    return 0;
  }
  maskedValues.clear();
  for (const std::string& value : masked.secrets) maskedValues.push_back(utf8Of(value));
  checkPairs(utf8Of(text), utf8Of(masked.text), 0);
  check(masked.text == text || masked.masked);
  return 0;
}
