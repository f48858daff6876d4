#include "helper/cli/arguments.hpp"

#include <locale.h>
#include <stdlib.h>

namespace nubrik {

namespace {

// The C locale, created once: the duration grammar must not follow the user's decimal separator.
locale_t cLocale() {
  static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

bool isCSpace(char c) {
  // Plain ASCII white space, the set strtod would skip in the C locale.
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

ParsedCommand parseStart(const std::vector<std::string>& arguments) {
  if (arguments.size() == 2) return MissingDuration{};
  std::optional<double> accepted;
  for (size_t index = 2; index < arguments.size(); ++index) {
    if (arguments[index] != "--duration" || index + 1 >= arguments.size()) continue;
    // The value is consumed whether or not it is accepted.
    ++index;
    if (const std::optional<double> value = parseDurationValue(arguments[index])) accepted = value;
  }
  if (!accepted) return MissingDuration{};
  return StartSession{*accepted};
}

}  // namespace

std::optional<double> parseDurationValue(const std::string& value) {
  if (value.empty() || isCSpace(value.front())) return std::nullopt;
  const locale_t locale = cLocale();
  if (locale == static_cast<locale_t>(nullptr)) return std::nullopt;
  char* end = nullptr;
  const double parsed = ::strtod_l(value.c_str(), &end, locale);
  // An embedded NUL cannot come from argv, but a caller's string could hold one.
  if (end != value.c_str() + value.size()) return std::nullopt;
  return parsed;
}

ParsedCommand parseArguments(const std::vector<std::string>& arguments) {
  if (arguments.size() < 2) return RunDaemon{};
  const std::string& mode = arguments[1];
  if (mode == "--daemon") return RunDaemon{};
  if (mode == "--start") return parseStart(arguments);
  if (mode == "--status") return PrintStatus{};
  if (mode == "--recover") return ForceRecovery{};
  return UsageError{};
}

ParsedCommand parseArguments(int argc, const char* const* argv) {
  std::vector<std::string> arguments;
  for (int index = 0; index < argc; ++index) {
    if (argv[index] != nullptr) arguments.emplace_back(argv[index]);
  }
  return parseArguments(arguments);
}

}  // namespace nubrik
