#include "helper/store/session_load_result.hpp"

#include "core/json_fields.hpp"

namespace nubrik {

// MARK: Corruption and the recovery-pending marker

std::string_view rawString(CorruptReason reason) {
  switch (reason) {
    case CorruptReason::unreadable:
      return "unreadable";
    case CorruptReason::undecodable:
      return "undecodable";
  }
  return "unreadable";
}

std::optional<CorruptReason> corruptReasonFromRaw(std::string_view raw) {
  if (raw == "unreadable") return CorruptReason::unreadable;
  if (raw == "undecodable") return CorruptReason::undecodable;
  return std::nullopt;
}

std::string encodeMarker(const RecoveryPendingMarker& marker) {
  json::OrderedValue object = json::OrderedValue::object();
  object["since"] = json::dateValue(marker.since);
  object["reason"] = std::string(rawString(marker.reason));
  if (marker.quarantinedPath) object["quarantinedPath"] = *marker.quarantinedPath;
  return json::dumpCompact(object);
}

RecoveryPendingMarker decodeMarker(std::string_view bytes) {
  const json::Value object = json::parseObject(bytes);
  RecoveryPendingMarker marker;
  marker.since = json::requiredDate(object, "since");
  const std::string reason = json::requiredString(object, "reason");
  const auto parsed = corruptReasonFromRaw(reason);
  if (!parsed) throw DecodingError("\"reason\" is not a known reason: " + json::quotedText(reason));
  marker.reason = *parsed;
  marker.quarantinedPath = json::optionalString(object, "quarantinedPath");
  return marker;
}

// MARK: SessionLoadResult

std::string describe(const SessionLoadResult& result) {
  struct Describer {
    std::string operator()(const OfflineSession& session) const {
      return "valid(" + session.id + ")";
    }
    std::string operator()(const CorruptSessionInfo& info) const {
      std::string text = "corrupt(" + std::string(rawString(info.reason));
      if (info.quarantinedPath)
        text += ", quarantinedPath: " + json::quotedText(*info.quarantinedPath);
      if (!info.pendingPersisted) text += ", pendingPersisted: false";
      return text + ")";
    }
    std::string operator()(const RecoveryPendingMarker& marker) const {
      std::string text = "recoveryPending(" + std::string(rawString(marker.reason));
      if (marker.quarantinedPath) {
        text += ", quarantinedPath: " + json::quotedText(*marker.quarantinedPath);
      }
      return text + ")";
    }
    std::string operator()(const SessionAbsent&) const { return "absent"; }
  };
  return std::visit(Describer{}, result);
}

}  // namespace nubrik
