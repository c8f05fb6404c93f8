// Recognising PostgreSQL URIs and taking their passwords out of texts.
#include "pg/uri.h"

#include <vector>

#include "base/text_ops.h"

namespace qorvel::pg {
namespace {

constexpr std::string_view kSchemes[] = {"postgresql://", "postgres://"};

// The length of the scheme and "://" that `uri` begins with, or 0.
std::size_t SchemeLength(std::string_view uri) {
  for (const std::string_view scheme : kSchemes) {
    if (uri.size() >= scheme.size() && EqualsIgnoringAsciiCase(uri.substr(0, scheme.size()), scheme)) {
      return scheme.size();
    }
  }
  return 0;
}

bool IsSecretParameter(std::string_view name) { return name == "password" || name == "sslpassword"; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The parts of a URI that matter here.
struct Parts {
  std::string_view scheme;     // "postgresql://"
  std::string_view user;       // before ':' of the user part; empty without one
  std::string_view password;   // after ':' of the user part
  bool has_user = false;       // an '@' ends a user part
  std::string_view host_path;  // hosts, ports and the database
  std::vector<std::pair<std::string_view, std::string_view>> parameters;  // name, value
};

Parts Split(std::string_view uri, std::size_t scheme) {
  Parts parts;
  parts.scheme = uri.substr(0, scheme);
  std::string_view rest = uri.substr(scheme);
  const std::size_t query = rest.find('?');
  std::string_view query_text = query == std::string_view::npos ? std::string_view() : rest.substr(query + 1);
  rest = rest.substr(0, query);
  const std::size_t authority_end = rest.find('/');
  const std::string_view authority = rest.substr(0, authority_end);
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    parts.has_user = true;
    const std::string_view userinfo = authority.substr(0, at);
    const std::size_t colon = userinfo.find(':');
    parts.user = userinfo.substr(0, colon);
    if (colon != std::string_view::npos) parts.password = userinfo.substr(colon + 1);
    rest.remove_prefix(at + 1);
  }
  parts.host_path = rest;
  while (!query_text.empty()) {
    const std::size_t amp = query_text.find('&');
    const std::string_view pair = query_text.substr(0, amp);
    const std::size_t equals = pair.find('=');
    parts.parameters.emplace_back(pair.substr(0, equals),
                                  equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
    query_text = amp == std::string_view::npos ? std::string_view() : query_text.substr(amp + 1);
  }
  return parts;
}

void ReplaceAll(std::string& text, std::string_view what) {
  if (what.empty()) return;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 3)) {
    text.replace(at, what.size(), "***");
  }
}

}  // namespace

bool IsPostgresUri(std::string_view data_source) { return SchemeLength(data_source) != 0; }

bool IsPostgresUri(TextView data_source) {
  // Only the scheme decides; the rest need not be converted.
  std::string head;
  for (std::size_t i = 0; i < data_source.size() && i < 16; ++i) {
    head += data_source[i] < 0x80 ? static_cast<char>(data_source[i]) : '?';
  }
  return IsPostgresUri(std::string_view(head));
}

std::string WithoutPassword(std::string_view uri) {
  const std::size_t scheme = SchemeLength(uri);
  if (scheme == 0) return std::string(uri);
  const Parts parts = Split(uri, scheme);
  std::string out(parts.scheme);
  if (parts.has_user) {
    out += parts.user;
    out += '@';
  }
  out += parts.host_path;
  char separator = '?';
  for (const auto& [name, value] : parts.parameters) {
    if (IsSecretParameter(name)) continue;
    out += separator;
    out += name;
    if (value.data() != nullptr) {
      out += '=';
      out += value;
    }
    separator = '&';
  }
  return out;
}

Text WithoutPassword(TextView uri) { return IsPostgresUri(uri) ? FromUtf8(WithoutPassword(ToUtf8(uri))) : Text(uri); }

std::string WithoutSecretsOf(std::string_view uri, std::string message) {
  const std::size_t scheme = SchemeLength(uri);
  if (scheme == 0) return message;
  const Parts parts = Split(uri, scheme);
  std::vector<std::string_view> secrets = {parts.password};
  for (const auto& [name, value] : parts.parameters) {
    if (IsSecretParameter(name)) secrets.push_back(value);
  }
  for (const std::string_view secret : secrets) {
    ReplaceAll(message, secret);
    ReplaceAll(message, PercentDecoded(secret));
  }
  return message;
}

}  // namespace qorvel::pg
