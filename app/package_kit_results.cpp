#include "app/package_kit_results.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace nubrik {

namespace {

bool isInstallableUpdate(std::uint32_t info) {
  return (info >= packagekit::infoLow && info <= packagekit::infoSecurity) ||
         info == packagekit::infoCritical;
}

// The name has no owner and no service file, or the service could not be started.
bool meansAbsent(std::string_view errorName) {
  return errorName == "org.freedesktop.DBus.Error.ServiceUnknown" ||
         errorName == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
         errorName.starts_with("org.freedesktop.DBus.Error.Spawn.");
}

bool meansNotAuthorized(std::string_view errorName) {
  constexpr std::array<std::string_view, 4> names = {
      "org.freedesktop.DBus.Error.AccessDenied",
      "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
      "org.freedesktop.PackageKit.Transaction.RefusedByPolicy",
      "org.freedesktop.PackageKit.Denied",
  };
  return std::find(names.begin(), names.end(), errorName) != names.end();
}

std::string transportDetail(int error) {
  if (error == ETIMEDOUT) return "PackageKit did not finish in time";
  if (error == ECANCELED) return "the request was cancelled";
  return std::string("bus error: ") + std::strerror(error);
}

}  // namespace

std::optional<PackageId> parsePackageId(std::string_view text) {
  std::array<std::string, 4> fields;
  std::size_t field = 0;
  for (const char c : text) {
    if (c != ';') {
      fields[field].push_back(c);
    } else if (++field == fields.size()) {
      return std::nullopt;
    }
  }
  if (field != 3 || fields[0].empty() || fields[1].empty()) return std::nullopt;
  return PackageId{fields[0], fields[1], fields[2], fields[3]};
}

std::optional<PackageKitPackage> availableUpdate(const std::vector<PackageKitPackage>& packages,
                                                 std::string_view name) {
  for (const PackageKitPackage& package : packages) {
    const std::optional<PackageId> id = parsePackageId(package.packageId);
    if (id && id->name == name && isInstallableUpdate(package.info)) return package;
  }
  return std::nullopt;
}

PackageKitResult packageKitResult(const PackageKitTransaction& transaction) {
  using enum PackageKitOutcome;
  if (transaction.busMissing) return {unavailable, "no system bus"};
  if (!transaction.errorName.empty()) {
    std::string detail =
        transaction.errorMessage.empty() ? transaction.errorName : transaction.errorMessage;
    if (meansAbsent(transaction.errorName)) return {unavailable, std::move(detail)};
    if (meansNotAuthorized(transaction.errorName)) return {notAuthorized, std::move(detail)};
    return {failed, std::move(detail)};
  }
  // An error code says why better than the exit status that follows it.
  if (transaction.errorCode) {
    const PackageKitErrorCode& error = *transaction.errorCode;
    std::string detail =
        error.details.empty() ? "PackageKit error " + std::to_string(error.code) : error.details;
    return {error.code == packagekit::errorNotAuthorized ? notAuthorized : failed,
            std::move(detail)};
  }
  if (transaction.transportError != 0) return {failed, transportDetail(transaction.transportError)};
  if (!transaction.exit) return {failed, "PackageKit ended the transaction without finishing it"};
  if (*transaction.exit == packagekit::exitCancelled)
    return {failed, "the transaction was cancelled"};
  if (*transaction.exit != packagekit::exitSuccess) {
    return {failed,
            "PackageKit could not finish (exit status " + std::to_string(*transaction.exit) + ")"};
  }
  return {succeeded, {}};
}

}  // namespace nubrik
