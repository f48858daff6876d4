#include "app/bus_address.hpp"

namespace nubrik {

int openBusAtAddress(const std::string& address, sd_bus** result) {
  sd_bus* bus = nullptr;
  int r = sd_bus_new(&bus);
  if (r < 0) return r;
  if ((r = sd_bus_set_address(bus, address.c_str())) < 0 ||
      (r = sd_bus_set_bus_client(bus, 1)) < 0 || (r = sd_bus_start(bus)) < 0) {
    sd_bus_unref(bus);
    return r;
  }
  *result = bus;
  return 0;
}

}  // namespace nubrik
