// The shared pieces of the qorvel commands.
#include "cli.h"

#include <algorithm>
#include <cctype>
#include <iostream>

#include "encoding.h"
#include "json.h"
#include "modmain/mod_main.h"
#include "qorvel/env.h"
#include "platform/jet_database.h"

namespace qorvel::tool {
namespace {

// Levenshtein distance ignoring ASCII case, for suggesting method names.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diag = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (same ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}

std::string ClosestNames(const std::string& name) {
  std::vector<std::pair<std::size_t, std::string>> scored;
  for (const MethodInfo& m : Methods()) {
    const std::string candidate = ToUtf8(m.name);
    scored.emplace_back(Distance(name, candidate), candidate);
  }
  std::sort(scored.begin(), scored.end());
  std::string out;
  for (std::size_t i = 0; i < 3 && i < scored.size(); ++i) out += (i ? ", " : "") + scored[i].second;
  return out;
}

}  // namespace

OpenedDatabase::OpenedDatabase(const std::string& path)
    : connection_(Env::Default()->CreateConnection()) {
  modmain::OpenDatabase(*connection_, FromUtf8(path));
  database_ = &platform::DatabaseOf(*connection_);
}

OpenedDatabase::~OpenedDatabase() = default;

int Fail(const std::string& message) {
  std::cerr << "qorvel: " << message << "\n";
  return kExitUsage;
}

CallOutcome CallWithTexts(KX& kx, const std::string& method, const std::vector<std::string>& texts,
                          bool capture_boxes) {
  CallOutcome outcome;
  outcome.method = method;
  outcome.args.reserve(texts.size());
  for (const std::string& t : texts) outcome.args.push_back(Variant::FromText(FromUtf8(t)));
  if (capture_boxes) {
    const MessageBoxCapture capture;
    outcome.result = Invoke(kx, FromUtf8(method), outcome.args);
    outcome.boxes = capture.boxes();
  } else {
    outcome.result = Invoke(kx, FromUtf8(method), outcome.args);
  }
  return outcome;
}

std::string FailureMessage(const CallOutcome& outcome) {
  std::string message = outcome.result.message;
  if (outcome.result.error == DispatchError::kUnknownName) {
    message += "; did you mean " + ClosestNames(outcome.method) + "? (qorvel methods lists all 24)";
  }
  return message;
}

std::string OutcomeJson(const CallOutcome& outcome) {
  const MethodInfo* info = FindMethod(FromUtf8(outcome.method));
  std::string out = "{\"method\": " + JsonString(info ? ToUtf8(info->name) : outcome.method);
  if (!outcome.result.ok()) return out + ", \"error\": " + JsonString(FailureMessage(outcome)) + "}";
  out += ", \"result\": {\"type\": " + JsonString(VarTypeName(outcome.result.value.type())) +
         ", \"value\": " + JsonValue(outcome.result.value) + "}, \"args\": [";
  for (std::size_t k = 0; k < outcome.args.size(); ++k) {
    out += (k ? ", " : "") + JsonValue(outcome.args[k]);
  }
  out += "], \"boxes\": [";
  for (std::size_t k = 0; k < outcome.boxes.size(); ++k) {
    const MessageBoxCapture::Box& box = outcome.boxes[k];
    out += (k ? ", " : "");
    out += "{\"prompt\": " + JsonString(ToUtf8(box.prompt)) +
           ", \"buttons\": " + std::to_string(box.buttons) + ", \"title\": " +
           (box.title ? JsonString(ToUtf8(*box.title)) : std::string("null")) + "}";
  }
  return out + "]}";
}

std::optional<std::string> EncodingOption(const std::string& command, const std::string& option,
                                          const std::vector<std::string>& words, std::size_t* i) {
  if (*i + 1 >= words.size()) {
    Fail(command + ": " + option + " needs the name of an encoding, e.g. " + option + " windows-1252");
    return std::nullopt;
  }
  const std::string& name = words[++*i];
  if (!KnownEncoding(name)) {
    Fail(command + ": " + option + ": no encoding \"" + name +
         "\" is known here (iconv -l lists the names, e.g. windows-1252, ISO-8859-15, UTF-16LE)");
    return std::nullopt;
  }
  return name;
}

}  // namespace qorvel::tool
