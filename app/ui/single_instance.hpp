#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <iosfwd>

namespace nubrik {

enum class InstanceClaim {
  // This process owns the app's name on the session bus: it is the one that runs.
  primary,
  // Another process owns it and was asked to bring its window forward; this one should exit 0.
  activatedOther,
  // There is no session bus: the app runs without a guard against a second copy.
  noSessionBus,
};

// One app per session: the first copy owns "com.nubrik.Tamsel" on the session bus and serves
// Activate() there; a later copy finds the name taken, calls Activate() on its owner, and leaves.
// The name goes with the process that owns it, however that process ends.
class SingleInstance final : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* busName = "com.nubrik.Tamsel";
  static constexpr const char* objectPath = "/com/nubrik/Tamsel";
  static constexpr const char* interfaceName = "com.nubrik.Tamsel";
  // How long a later copy waits for the first one to answer.
  static constexpr int activateTimeoutMs = 5000;

  // On the user's session bus.
  explicit SingleInstance(QObject* parent = nullptr);
  // On a given connection.
  explicit SingleInstance(QDBusConnection connection, QObject* parent = nullptr);
  ~SingleInstance() override;
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Claims the name, or activates the copy that holds it. Writes one line to `diagnostics` when
  // there is no session bus, when another copy is running, and when that copy did not answer.
  InstanceClaim claim(std::ostream& diagnostics);

 signals:
  // Another launch asked this copy to show and raise its window.
  void activationRequested();

 private:
  QDBusConnection connection_;
  QObject* adaptor_;
  bool exported_ = false;
  bool ownsName_ = false;
};

}  // namespace nubrik
