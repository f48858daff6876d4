#include "core/nubrik_xpc.hpp"

#include <algorithm>

namespace nubrik {

namespace {

// A double quote would end the quoted value early and let the rest be read as requirement
// syntax, so none may reach the text.
std::string withoutQuotes(std::string_view text) {
  std::string cleaned(text);
  cleaned.erase(std::remove(cleaned.begin(), cleaned.end(), '"'), cleaned.end());
  return cleaned;
}

}  // namespace

std::optional<std::string> NubrikXPC::codeSigningRequirement(
    std::string_view identifier, const std::optional<std::string>& teamID) {
  if (!teamID) return std::nullopt;
  const std::string cleanIdentifier = withoutQuotes(identifier);
  const std::string cleanTeamID = withoutQuotes(*teamID);
  if (cleanIdentifier.empty() || cleanTeamID.empty()) return std::nullopt;
  return "identifier \"" + cleanIdentifier +
         "\" and anchor apple generic and certificate leaf[subject.OU] = \"" + cleanTeamID + "\"";
}

}  // namespace nubrik
