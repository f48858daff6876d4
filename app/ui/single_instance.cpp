#include "app/ui/single_instance.hpp"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <ostream>
#include <utility>

namespace nubrik {

namespace {

// What the first copy serves on the bus: Activate(), which only raises a signal; any process of
// the user may call it, and all it can do is bring the window forward.
class ActivationService final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.nubrik.Tamsel")

 public:
  explicit ActivationService(SingleInstance* owner) : QObject(owner), owner_(owner) {}

 public slots:
  Q_SCRIPTABLE void Activate() { emit owner_->activationRequested(); }

 private:
  SingleInstance* owner_;
};

// The owner may have gone between the name request and the call; then the name is free again.
bool ownerIsGone(const QDBusMessage& reply) {
  return QDBusError(reply).type() == QDBusError::ServiceUnknown ||
         reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

}  // namespace

SingleInstance::SingleInstance(QObject* parent)
    : SingleInstance(QDBusConnection::sessionBus(), parent) {}

SingleInstance::SingleInstance(QDBusConnection connection, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), adaptor_(new ActivationService(this)) {}

SingleInstance::~SingleInstance() {
  if (ownsName_) connection_.unregisterService(busName);
  if (exported_) connection_.unregisterObject(objectPath);
}

InstanceClaim SingleInstance::claim(std::ostream& diagnostics) {
  if (!connection_.isConnected() || connection_.interface() == nullptr) {
    diagnostics << "tamsel: no session bus (" << connection_.lastError().message().toStdString()
                << "); not checking for another running copy\n";
    return InstanceClaim::noSessionBus;
  }
  // Served before the name is owned, so that a call right after the name is taken finds it.
  if (!exported_) {
    exported_ =
        connection_.registerObject(objectPath, adaptor_, QDBusConnection::ExportScriptableSlots);
  }

  for (int attempt = 0; attempt < 2; ++attempt) {
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> owned =
        connection_.interface()->registerService(busName,
                                                 QDBusConnectionInterface::DontQueueService,
                                                 QDBusConnectionInterface::DontAllowReplacement);
    if (!owned.isValid()) {
      diagnostics << "tamsel: cannot own " << busName << " on the session bus ("
                  << owned.error().message().toStdString()
                  << "); not checking for another running copy\n";
      return InstanceClaim::noSessionBus;
    }
    if (owned.value() == QDBusConnectionInterface::ServiceRegistered) {
      ownsName_ = true;
      return InstanceClaim::primary;
    }

    QDBusMessage call =
        QDBusMessage::createMethodCall(busName, objectPath, interfaceName, "Activate");
    call.setAutoStartService(false);
    // Events keep flowing while the answer is awaited.
    const QDBusMessage reply = connection_.call(call, QDBus::BlockWithGui, activateTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
      diagnostics << "Tamsel is already running.\n";
      return InstanceClaim::activatedOther;
    }
    if (!ownerIsGone(reply) || attempt > 0) {
      diagnostics << "Tamsel is already running, but it did not answer ("
                  << reply.errorMessage().toStdString() << ").\n";
      return InstanceClaim::activatedOther;
    }
  }
  return InstanceClaim::activatedOther;
}

}  // namespace nubrik

#include "single_instance.moc"
