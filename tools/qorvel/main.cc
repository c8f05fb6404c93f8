// qorvel: the command-line host of the QORVEL report functions.
//
//   qorvel methods                      the 24 functions and their signatures
//   qorvel call [--json] METHOD ARG...  calls one function late bound
//
// Options before the command: --locale NAME picks the user locale. The
// exit status is 0 when the call returned (whatever its result), 2 for a
// usage error or a call the dispatch rejects.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "json.h"
#include "qorvel/qorvel.h"

namespace qorvel::tool {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: qorvel [--locale NAME] COMMAND ...\n"
    "\n"
    "commands:\n"
    "  methods                       list the 24 functions with their signatures\n"
    "  call [--json] METHOD ARG...   call one function; arguments are text, converted\n"
    "                                as a late-bound caller's are\n"
    "\n"
    "options:\n"
    "  --locale NAME   the user locale (en-US, en-GB, de-DE, fr-FR, nl-NL, it-IT,\n"
    "                  sv-SE, ja-JP); default from LC_ALL / LC_TIME / LANG\n"
    "  --version       print the library's version\n"
    "  --help          this text\n"
    "\n"
    "example:\n"
    "  qorvel call FormatPhone \"\" 5551234567\n";

int Fail(const std::string& message) {
  std::cerr << "qorvel: " << message << "\n";
  return kExitUsage;
}

// Levenshtein distance on lower-cased ASCII, for suggesting method names.
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
  for (std::size_t i = 0; i < 3 && i < scored.size(); ++i) {
    out += (i ? ", " : "") + scored[i].second;
  }
  return out;
}

int RunMethods() {
  for (const MethodInfo& m : Methods()) {
    std::printf("%2d  0x%08X  %s\n", m.number, static_cast<unsigned>(m.dispid),
                Signature(m).c_str());
  }
  return kExitOk;
}

struct Box {
  Text prompt;
  Long buttons;
  std::optional<Text> title;
};

int RunCall(const std::vector<std::string>& words) {
  bool json = false;
  std::size_t i = 0;
  for (; i < words.size() && words[i].rfind("--", 0) == 0; ++i) {
    if (words[i] == "--json") {
      json = true;
    } else {
      return Fail("call: unknown option " + words[i] + "\n" + kUsage);
    }
  }
  if (i >= words.size()) return Fail("call: which method? (qorvel methods lists them)");
  const std::string method = words[i++];
  std::vector<Variant> args;
  for (; i < words.size(); ++i) args.push_back(Variant::FromText(FromUtf8(words[i])));

  std::vector<Box> boxes;
  if (json) {
    SetMessageBoxHandler([&boxes](const Text& prompt, Long buttons, const std::optional<Text>& title) {
      boxes.push_back({prompt, buttons, title});
    });
  }
  KX kx;
  const InvokeResult result = Invoke(kx, FromUtf8(method), args);
  if (!result.ok()) {
    std::string message = result.message;
    if (result.error == DispatchError::kUnknownName) {
      message += "; closest: " + ClosestNames(method);
    }
    return Fail(message);
  }
  if (!json) {
    std::cout << ToUtf8(DisplayText(result.value)) << "\n";
    return kExitOk;
  }
  const MethodInfo* info = FindMethod(FromUtf8(method));
  std::string out = "{\"method\": " + JsonString(ToUtf8(info->name)) + ", \"result\": {\"type\": " +
                    JsonString(VarTypeName(result.value.type())) +
                    ", \"value\": " + JsonValue(result.value) + "}, \"args\": [";
  for (std::size_t k = 0; k < args.size(); ++k) out += (k ? ", " : "") + JsonValue(args[k]);
  out += "], \"boxes\": [";
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    out += (k ? ", " : "");
    out += "{\"prompt\": " + JsonString(ToUtf8(boxes[k].prompt)) +
           ", \"buttons\": " + std::to_string(boxes[k].buttons) + ", \"title\": " +
           (boxes[k].title ? JsonString(ToUtf8(*boxes[k].title)) : std::string("null")) + "}";
  }
  out += "]}";
  std::cout << out << "\n";
  return kExitOk;
}

int Main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  std::size_t i = 0;
  for (; i < words.size() && words[i].rfind("--", 0) == 0; ++i) {
    const std::string& w = words[i];
    if (w == "--help") {
      std::cout << kUsage;
      return kExitOk;
    }
    if (w == "--version") {
      std::cout << "qorvel " << kVersion << "\n";
      return kExitOk;
    }
    if (w == "--locale") {
      if (i + 1 >= words.size()) return Fail("--locale needs a name, e.g. --locale en-GB");
      if (!SetUserLocale(words[++i])) {
        std::string known;
        for (const std::string& n : AvailableLocales()) known += " " + n;
        return Fail("unknown locale \"" + words[i] + "\"; known:" + known);
      }
      continue;
    }
    return Fail("unknown option " + w + "\n" + kUsage);
  }
  if (i >= words.size()) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  const std::string command = words[i];
  const std::vector<std::string> rest(words.begin() + static_cast<long>(i) + 1, words.end());
  if (command == "methods") return RunMethods();
  if (command == "call") return RunCall(rest);
  return Fail("unknown command \"" + command + "\"\n" + kUsage);
}

}  // namespace
}  // namespace qorvel::tool

int main(int argc, char** argv) { return qorvel::tool::Main(argc, argv); }
