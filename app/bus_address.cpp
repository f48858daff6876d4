#include "app/bus_address.hpp"

#include "core/sd_handles.hpp"

namespace nubrik {

int openBusAtAddress(const std::string& address, sd_bus** result) {
  BusHandle bus;
  int r = sd_bus_new(out(bus));
  if (r < 0) return r;
  if ((r = sd_bus_set_address(bus.get(), address.c_str())) < 0 ||
      (r = sd_bus_set_bus_client(bus.get(), 1)) < 0 || (r = sd_bus_start(bus.get())) < 0) {
    return r;
  }
  *result = bus.release();
  return 0;
}

}  // namespace nubrik
