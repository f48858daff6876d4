#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <memory>

namespace nubrik {

// Owning handles for sd-event and sd-bus objects: each gives up its reference, in the way its
// name says, when it goes out of scope or is reset.
template <auto release>
struct SdReleaser {
  template <typename T>
  void operator()(T* object) const {
    release(object);
  }
};

using EventHandle = std::unique_ptr<sd_event, SdReleaser<sd_event_unref>>;
// Disabled first: a source still referenced elsewhere (by the loop while it dispatches) must
// never fire again once its owner is gone.
using EventSourceHandle =
    std::unique_ptr<sd_event_source, SdReleaser<sd_event_source_disable_unref>>;
using BusSlotHandle = std::unique_ptr<sd_bus_slot, SdReleaser<sd_bus_slot_unref>>;
using BusMessageHandle = std::unique_ptr<sd_bus_message, SdReleaser<sd_bus_message_unref>>;
// A bus connection dropped as it stands: what is still queued is not sent.
using BusHandle = std::unique_ptr<sd_bus, SdReleaser<sd_bus_unref>>;
// A bus connection closed first, so that it ends now even while other references remain.
using ClosingBusHandle = std::unique_ptr<sd_bus, SdReleaser<sd_bus_close_unref>>;
// A bus connection that sends whatever is still queued (replies, signals) before it closes.
using FlushingBusHandle = std::unique_ptr<sd_bus, SdReleaser<sd_bus_flush_close_unref>>;

// Lets a call that hands its new object back through a pointer fill a handle:
// sd_event_add_defer(event, out(source), ...). The handle takes the object at the end of the full
// expression, so it must not be read within the expression that fills it.
template <typename Handle>
class OutPointer {
 public:
  explicit OutPointer(Handle& handle) : handle_(handle) {}
  ~OutPointer() { handle_.reset(raw_); }
  OutPointer(const OutPointer&) = delete;
  OutPointer& operator=(const OutPointer&) = delete;
  operator typename Handle::pointer *() { return &raw_; }

 private:
  Handle& handle_;
  typename Handle::pointer raw_ = nullptr;
};

template <typename Handle>
OutPointer<Handle> out(Handle& handle) {
  return OutPointer<Handle>(handle);
}

}  // namespace nubrik
