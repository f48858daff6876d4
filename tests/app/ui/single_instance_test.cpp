#include "app/ui/single_instance.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDBusError>
#include <algorithm>
#include <sstream>
#include <string>

#include "tests/support/private_session_bus.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using testing::HasSubstr;

// Each instance on a connection of its own to the test's bus, as separate launches would be.
class SingleInstanceOnABus : public testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.running()) GTEST_SKIP() << bus_.failure();
  }
  void TearDown() override {
    for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
  }

  QDBusConnection connect(const char* name) {
    names_.append(QString::fromLatin1(name));
    QDBusConnection connection =
        QDBusConnection::connectToBus(QString::fromStdString(bus_.address()), name);
    EXPECT_TRUE(connection.isConnected()) << connection.lastError().message().toStdString();
    return connection;
  }

  test::PrivateSessionBus bus_;
  QStringList names_;
};

TEST_F(SingleInstanceOnABus, TheFirstLaunchRunsAndALaterOneRaisesItAndLeaves) {
  SingleInstance first(connect("first"));
  int activations = 0;
  QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
  std::ostringstream firstSays;
  EXPECT_EQ(first.claim(firstSays), InstanceClaim::primary);
  EXPECT_EQ(firstSays.str(), "");
  EXPECT_EQ(activations, 0);

  for (const char* name : {"second", "third"}) {
    SingleInstance later(connect(name));
    std::ostringstream laterSays;
    EXPECT_EQ(later.claim(laterSays), InstanceClaim::activatedOther) << name;
    EXPECT_EQ(laterSays.str(), "Tamsel is already running.\n");
  }
  EXPECT_EQ(activations, 2);
}

TEST_F(SingleInstanceOnABus, AnOwnerThatDoesNotAnswerStillMeansAnotherCopyRuns) {
  // Something holds the name but serves nothing there: the launch must not start a second copy.
  QDBusConnection squatter = connect("squatter");
  ASSERT_TRUE(squatter.registerService(SingleInstance::busName));

  SingleInstance later(connect("later"));
  std::ostringstream says;
  EXPECT_EQ(later.claim(says), InstanceClaim::activatedOther);
  EXPECT_THAT(says.str(), HasSubstr("Tamsel is already running, but it did not answer ("));
}

TEST(SingleInstanceWithoutABus, RunsUnguardedAndSaysWhyOnce) {
  TempDir dir;
  const QString address = QString::fromStdString("unix:path=" + dir.file("nobody-listens"));
  {
    SingleInstance instance(QDBusConnection::connectToBus(address, "nowhere"));
    std::ostringstream says;
    EXPECT_EQ(instance.claim(says), InstanceClaim::noSessionBus);
    const std::string said = says.str();
    EXPECT_THAT(said, HasSubstr("tamsel: no session bus ("));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
  QDBusConnection::disconnectFromBus("nowhere");
}

}  // namespace
}  // namespace nubrik
