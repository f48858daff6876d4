#pragma once

#include <memory>
#include <utility>

#include "helper/context/helper.hpp"
#include "tests/helper/transaction/state_fixture.hpp"

namespace nubrik::test {

// A helper over the fixture's directory, clock and log, with the production network backend.
class HelperFixture : public StateFixture {
 protected:
  // Runs the body in one of the helper's publishing transactions and returns what it returns.
  template <typename Body>
  auto inTransaction(Body&& body) {
    std::optional<decltype(body())> result;
    helper.transactions().run(StatusEffect::publishes,
                              [&](Transaction&) { result.emplace(body()); });
    return std::move(*result);
  }

  Helper helper{HelperParts{.log = log, .paths = paths, .clock = clock}};
};

}  // namespace nubrik::test
