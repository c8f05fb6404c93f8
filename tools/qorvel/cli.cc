// The shared pieces of the qorvel commands.
#include "cli.h"

#include <algorithm>
#include <iostream>

#include "edit_distance.h"
#include "encoding.h"
#include "json.h"

namespace qorvel::tool {
namespace {

std::string ClosestNames(const std::string& name) {
  std::vector<std::pair<std::size_t, std::string>> scored;
  for (const MethodInfo& m : Methods()) {
    const std::string candidate = ToUtf8(m.name);
    scored.emplace_back(EditDistance(name, candidate), candidate);
  }
  std::sort(scored.begin(), scored.end());
  std::string out;
  for (std::size_t i = 0; i < 3 && i < scored.size(); ++i) out += (i ? ", " : "") + scored[i].second;
  return out;
}

}  // namespace

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

void EncodingOption(Options& options, const std::string& command, const std::string& option, std::string* name) {
  options.Valued(option, command + ": " + option + " needs the name of an encoding, e.g. " + option + " windows-1252",
                 [=](const std::string& value) {
                   if (KnownEncoding(value)) {
                     *name = value;
                     return std::string();
                   }
                   return command + ": " + option + ": no encoding \"" + value +
                          "\" is known here (iconv -l lists the names, e.g. windows-1252, ISO-8859-15, UTF-16LE)";
                 });
}

}  // namespace qorvel::tool
