#include "app/ui/desktop_main.hpp"

#include <QApplication>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "app/broker_client.hpp"
#include "app/ui/desktop_app.hpp"
#include "app/ui/main_window.hpp"
#include "app/ui/single_instance.hpp"
#include "core/nubrik_xpc.hpp"

namespace nubrik {

int runDesktopApp(int argc, char** argv, const std::function<void(DesktopApp&)>& started) {
  std::shared_ptr<BrokerClient> broker;
  try {
    broker = BrokerClient::fromEnvironment();
  } catch (const std::exception& error) {
    std::cerr << "error: " << error.what() << "\n";
    return 1;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName("Tamsel");
  QApplication::setOrganizationName("Nubrik");
  QApplication::setApplicationVersion(QString::fromUtf8(nubrikHelperVersion));
  QApplication::setDesktopFileName("tamsel");

  SingleInstance instance;
  if (instance.claim(std::cerr) == InstanceClaim::activatedOther) return 0;

  DesktopApp app(broker ? BrokerClient::opener(broker) : BusOpener{});
  QObject::connect(&instance, &SingleInstance::activationRequested, &app,
                   [&app] { app.openWindow(); });
  // --hidden: only the tray item, for a start in the background.
  const QStringList arguments = QApplication::arguments();
  app.start(!arguments.contains(QStringLiteral("--hidden")));
  if (started) started(app);
  return QApplication::exec();
}

}  // namespace nubrik
