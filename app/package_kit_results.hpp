#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nubrik {

// PackageKit's numbers on the bus (its pk-enum.h). A bitfield argument has bit (1 << value) set
// for each value it holds.
namespace packagekit {
inline constexpr std::uint64_t filterNone = std::uint64_t{1} << 1;
inline constexpr std::uint64_t transactionFlagOnlyTrusted = std::uint64_t{1} << 1;
inline constexpr std::uint32_t exitSuccess = 1;
inline constexpr std::uint32_t exitCancelled = 3;
inline constexpr std::uint32_t errorNotAuthorized = 48;
// Package(info): the kinds of update GetUpdates reports; "blocked" (9) cannot be installed.
inline constexpr std::uint32_t infoLow = 3;
inline constexpr std::uint32_t infoSecurity = 8;
inline constexpr std::uint32_t infoBlocked = 9;
inline constexpr std::uint32_t infoCritical = 26;
}  // namespace packagekit

// One Package(u info, s package_id, s summary) signal.
struct PackageKitPackage {
  std::uint32_t info = 0;
  std::string packageId;
  std::string summary;

  friend bool operator==(const PackageKitPackage&, const PackageKitPackage&) = default;
};

// One ErrorCode(u code, s details) signal.
struct PackageKitErrorCode {
  std::uint32_t code = 0;
  std::string details;

  friend bool operator==(const PackageKitErrorCode&, const PackageKitErrorCode&) = default;
};

// Everything one transaction reported, as the bus client collected it.
struct PackageKitTransaction {
  // There was no bus to connect to.
  bool busMissing = false;
  // The errno of a bus failure (ETIMEDOUT when the transaction did not finish in time,
  // ECANCELED when the app gave up waiting).
  int transportError = 0;
  // An error answer to one of the calls: its D-Bus error name and text.
  std::string errorName;
  std::string errorMessage;
  std::vector<PackageKitPackage> packages;
  // The first ErrorCode signal.
  std::optional<PackageKitErrorCode> errorCode;
  // Finished(exit); none when the transaction ended without it.
  std::optional<std::uint32_t> exit;

  friend bool operator==(const PackageKitTransaction&, const PackageKitTransaction&) = default;
};

// "name;version;arch;data".
struct PackageId {
  std::string name;
  std::string version;
  std::string arch;
  std::string data;
};

// None unless the text has exactly four fields and a name and a version.
std::optional<PackageId> parsePackageId(std::string_view text);

// The update of package `name` among GetUpdates' packages: one of an installable kind of update
// with a well-formed id. PackageKit reports only versions newer than the installed one there.
std::optional<PackageKitPackage> availableUpdate(const std::vector<PackageKitPackage>& packages,
                                                 std::string_view name);

enum class PackageKitOutcome {
  succeeded,
  // Nothing answers for PackageKit: no system bus, or its name has no owner and cannot be
  // activated.
  unavailable,
  // polkit refused the action (or the user cancelled the password prompt).
  notAuthorized,
  failed,
};

struct PackageKitResult {
  PackageKitOutcome outcome = PackageKitOutcome::failed;
  // What went wrong, for the user; empty on success.
  std::string detail;

  friend bool operator==(const PackageKitResult&, const PackageKitResult&) = default;
};

// How a transaction ended.
PackageKitResult packageKitResult(const PackageKitTransaction& transaction);

}  // namespace nubrik
