#include "helper/store/session_load_result.hpp"

#include <gtest/gtest.h>

#include "core/json_fields.hpp"

namespace nubrik {
namespace {

// 2026-01-01 12:00:00 UTC.
const Date noon = dateFromReferenceSeconds(788961600);

TEST(RecoveryPendingMarker, DecodesKnownReasonsOnly) {
  EXPECT_EQ(decodeMarker(R"({"since":788961600,"reason":"undecodable"})"),
            (RecoveryPendingMarker{noon, CorruptReason::undecodable, std::nullopt}));

  for (const char* text :
       {R"({"since":1,"reason":"corrupt"})", R"({"since":1})", R"({"reason":"unreadable"})", ""}) {
    EXPECT_THROW(decodeMarker(text), DecodingError) << text;
  }

  RecoveryPendingMarker withPath{dateFromReferenceSeconds(0.5), CorruptReason::unreadable,
                                 "/var/lib/nubrik/session.corrupt.1796486400"};
  EXPECT_EQ(encodeMarker(withPath), R"({"since":0.5,"reason":"unreadable","quarantinedPath":)"
                                    R"("/var/lib/nubrik/session.corrupt.1796486400"})");
  EXPECT_EQ(decodeMarker(encodeMarker(withPath)), withPath);
  EXPECT_EQ(encodeMarker({dateFromReferenceSeconds(0.5), CorruptReason::undecodable, {}}),
            R"({"since":0.5,"reason":"undecodable"})");
}

}  // namespace
}  // namespace nubrik
