#include "helper/service/helper_xpc_service.hpp"

#include <system_error>
#include <utility>

#include "core/nubrik_xpc.hpp"
#include "helper/context/helper.hpp"
#include "helper/log/log.hpp"
#include "helper/service/bus_peer_credentials.hpp"

// The bus glue only unpacks, asks the service, calls one handler and packs its reply.
//
// A caller that fails the identity rule is never served: no handler runs and no state is read.
// Its call is answered with org.freedesktop.DBus.Error.AccessDenied rather than left unanswered,
// which is what a refused connection looks like to the app: its request ends at once as
// "helper unavailable" instead of waiting out its time-out.

namespace nubrik {

namespace {

HelperXPCListenerOwner& ownerOf(void* userdata) {
  return *static_cast<HelperXPCListenerOwner*>(userdata);
}

// The exported object for this call, or none when its sender may not be served.
std::optional<HelperXPCExportedObject> acceptCall(sd_bus_message* message, void* userdata) {
  HelperXPCListenerOwner& owner = ownerOf(userdata);
  const char* sender = sd_bus_message_get_sender(message);
  if (sender == nullptr) return std::nullopt;
  return owner.service().accept(callerFromBus(owner.bus(), sender));
}

int refuse(sd_bus_error* error) {
  return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, nullptr);
}

int onStartSession(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  double duration = 0;
  const int read = sd_bus_message_read(message, "d", &duration);
  if (read < 0) return read;
  const auto object = acceptCall(message, userdata);
  if (!object) return refuse(error);
  const XPCStartReply reply = object->startHandler(duration);
  return sd_bus_reply_method_return(message, NubrikXPC::startSessionWithDuration.outSignature,
                                    reply.code, reply.expiration, reply.message.c_str());
}

int onHealthCheck(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  const auto object = acceptCall(message, userdata);
  if (!object) return refuse(error);
  const HealthReply reply = object->healthHandler();
  return sd_bus_reply_method_return(message, NubrikXPC::healthCheck.outSignature,
                                    reply.protocolVersion, reply.helperVersion.c_str(),
                                    reply.readyCode);
}

int onPrepareRestart(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  const auto object = acceptCall(message, userdata);
  if (!object) return refuse(error);
  const XPCRestartReply reply = object->restartHandler();
  return sd_bus_reply_method_return(message, NubrikXPC::prepareRestart.outSignature, reply.code,
                                    reply.message.c_str());
}

int replyEarlyUnlock(sd_bus_message* message, const XPCEarlyUnlockReply& reply) {
  return sd_bus_reply_method_return(message, NubrikXPC::requestEarlyUnlock.outSignature, reply.code,
                                    reply.expiration, reply.message.c_str());
}

int onRequestEarlyUnlock(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  const auto object = acceptCall(message, userdata);
  if (!object) return refuse(error);
  return replyEarlyUnlock(message, object->earlyUnlockRequestHandler());
}

int onCancelEarlyUnlock(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  const auto object = acceptCall(message, userdata);
  if (!object) return refuse(error);
  return replyEarlyUnlock(message, object->earlyUnlockCancelHandler());
}

int onSetSchedules(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  const void* data = nullptr;
  size_t size = 0;
  const int read = sd_bus_message_read_array(message, 'y', &data, &size);
  if (read < 0) return read;
  const auto object = acceptCall(message, userdata);
  if (!object) return refuse(error);
  const std::string_view payload(static_cast<const char*>(data), data == nullptr ? 0 : size);
  const XPCScheduleSetReply reply = object->scheduleSetHandler(payload);
  return sd_bus_reply_method_return(message, NubrikXPC::setSchedules.outSignature, reply.code,
                                    reply.message.c_str());
}

int onGetSchedules(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  const auto object = acceptCall(message, userdata);
  if (!object) return refuse(error);
  const XPCScheduleGetReply reply = object->scheduleGetHandler();
  BusMessageHandle answer;
  int result = sd_bus_message_new_method_return(message, out(answer));
  if (result < 0) return result;
  if ((result = sd_bus_message_append(answer.get(), "x", reply.code)) >= 0 &&
      (result = sd_bus_message_append_array(answer.get(), 'y', reply.payload.data(),
                                            reply.payload.size())) >= 0 &&
      (result = sd_bus_message_append(answer.get(), "s", reply.message.c_str())) >= 0) {
    result = sd_bus_send(nullptr, answer.get(), nullptr);
  }
  return result;
}

// Every method is open to any caller as far as sd-bus is concerned; the service decides.
constexpr uint64_t open = SD_BUS_VTABLE_UNPRIVILEGED;

const sd_bus_vtable helperVTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES(
        NubrikXPC::startSessionWithDuration.member, "d", SD_BUS_PARAM(duration), "xds",
        SD_BUS_PARAM(code) SD_BUS_PARAM(expiration) SD_BUS_PARAM(message), onStartSession, open),
    SD_BUS_METHOD_WITH_NAMES(NubrikXPC::healthCheck.member, "", , "xsx",
                             SD_BUS_PARAM(protocolVersion) SD_BUS_PARAM(helperVersion)
                                 SD_BUS_PARAM(readyCode),
                             onHealthCheck, open),
    SD_BUS_METHOD_WITH_NAMES(NubrikXPC::prepareRestart.member, "", , "xs",
                             SD_BUS_PARAM(code) SD_BUS_PARAM(message), onPrepareRestart, open),
    SD_BUS_METHOD_WITH_NAMES(NubrikXPC::requestEarlyUnlock.member, "", , "xds",
                             SD_BUS_PARAM(code) SD_BUS_PARAM(expiration) SD_BUS_PARAM(message),
                             onRequestEarlyUnlock, open),
    SD_BUS_METHOD_WITH_NAMES(NubrikXPC::cancelEarlyUnlock.member, "", , "xds",
                             SD_BUS_PARAM(code) SD_BUS_PARAM(expiration) SD_BUS_PARAM(message),
                             onCancelEarlyUnlock, open),
    SD_BUS_METHOD_WITH_NAMES(NubrikXPC::setSchedules.member, "ay", SD_BUS_PARAM(schedules), "xs",
                             SD_BUS_PARAM(code) SD_BUS_PARAM(message), onSetSchedules, open),
    SD_BUS_METHOD_WITH_NAMES(NubrikXPC::getSchedules.member, "", , "xays",
                             SD_BUS_PARAM(code) SD_BUS_PARAM(schedules) SD_BUS_PARAM(message),
                             onGetSchedules, open),
    SD_BUS_SIGNAL_WITH_NAMES(NubrikXPC::notificationSignal, "ss",
                             SD_BUS_PARAM(title) SD_BUS_PARAM(message), 0),
    SD_BUS_VTABLE_END,
};

void check(int result, const char* what) {
  if (result < 0) throw std::system_error(-result, std::generic_category(), what);
}

}  // namespace

HelperXPCService::HelperXPCService(XPCClientValidator validator,
                                   std::function<HelperXPCExportedObject()> makeExportedObject)
    : validator_(std::move(validator)), makeExportedObject_(std::move(makeExportedObject)) {}

HelperXPCService HelperXPCService::production(Helper& helper) {
  return HelperXPCService(XPCClientValidator::production(helper.logOperation()),
                          [&helper] { return HelperXPCExportedObject::production(helper); });
}

std::unique_ptr<HelperXPCListenerOwner> HelperXPCService::productionOwner(Helper& helper) {
  return std::make_unique<HelperXPCListenerOwner>(helper, production(helper),
                                                  HelperXPCListenerOwner::systemBus());
}

std::optional<HelperXPCExportedObject> HelperXPCService::accept(const XPCCaller& caller) const {
  try {
    if (!validator_.shouldAccept || !validator_.shouldAccept(caller)) return std::nullopt;
    return makeExportedObject_();
  } catch (...) {
    return std::nullopt;
  }
}

HelperXPCListenerOwner::HelperXPCListenerOwner(Helper& helper, HelperXPCService service,
                                               BusOpener openBus)
    : helper_(helper), service_(std::move(service)), openBus_(std::move(openBus)) {}

HelperXPCListenerOwner::~HelperXPCListenerOwner() {
  stop();
}

HelperXPCListenerOwner::BusOpener HelperXPCListenerOwner::systemBus() {
  return [](sd_bus** bus) { return sd_bus_open_system(bus); };
}

HelperXPCListenerOwner::BusOpener HelperXPCListenerOwner::busAtAddressForTest(std::string address) {
  return [address = std::move(address)](sd_bus** result) {
    BusHandle bus;
    int r = sd_bus_new(out(bus));
    if (r < 0) return r;
    if ((r = sd_bus_set_address(bus.get(), address.c_str())) >= 0 &&
        (r = sd_bus_set_bus_client(bus.get(), 1)) >= 0 && (r = sd_bus_start(bus.get())) >= 0) {
      *result = bus.release();
      return 0;
    }
    return r;
  };
}

void HelperXPCListenerOwner::start(sd_event* event) {
  if (bus_ != nullptr) return;
  FlushingBusHandle bus;
  check(openBus_(out(bus)), "open bus");
  BusSlotHandle objectSlot;
  check(sd_bus_attach_event(bus.get(), event, SD_EVENT_PRIORITY_NORMAL), "sd_bus_attach_event");
  check(sd_bus_add_object_vtable(bus.get(), out(objectSlot), NubrikXPC::objectPath,
                                 NubrikXPC::interfaceName, helperVTable, this),
        "sd_bus_add_object_vtable");
  // Only root may own the name (bus policy); a second daemon must not queue behind the first.
  check(sd_bus_request_name(bus.get(), NubrikXPC::busName, 0), "sd_bus_request_name");
  bus_ = std::move(bus);
  objectSlot_ = std::move(objectSlot);
  helper_.setNotificationSink(
      [bus = bus_.get()](const std::string& title, const std::string& message) {
        (void)sd_bus_emit_signal(bus, NubrikXPC::objectPath, NubrikXPC::interfaceName,
                                 NubrikXPC::notificationSignal, NubrikXPC::notificationSignature,
                                 title.c_str(), message.c_str());
      });
  helper_.log(std::string("xpc listener started on ") + NubrikXPC::machServiceName);
}

void HelperXPCListenerOwner::stop() {
  if (bus_ == nullptr) return;
  helper_.setNotificationSink({});
  objectSlot_.reset();
  (void)sd_bus_release_name(bus_.get(), NubrikXPC::busName);
  sd_bus_detach_event(bus_.get());
  bus_.reset();
}

}  // namespace nubrik
