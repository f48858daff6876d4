#pragma once

// The session record the core tests share.

#include "core/date.hpp"
#include "core/session.hpp"

namespace nubrik::test {

// 2026-01-01 12:00:00 UTC.
inline const Date noon = dateFromReferenceSeconds(788961600);

inline OfflineSession sampleSession() {
  OfflineSession session;
  session.id = "0B5E1F32-7C44-4B1A-9D2E-52A3C1F0A9B7";
  session.startDate = dateFromReferenceSeconds(788961600.5);
  session.expirationDate = dateFromReferenceSeconds(788965200.5);
  session.services = {{"Wi-Fi", true}, {"Ethernet \"2\"", false}};
  session.wifiPower = {{"phy0", true}};
  return session;
}

}  // namespace nubrik::test
