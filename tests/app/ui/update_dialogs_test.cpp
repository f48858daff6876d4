#include "app/ui/update_dialogs.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace nubrik {
namespace {

TEST(UpdateDialogsTest, OnlyInstallInstallsAndEitherAnswerClosesTheOffer) {
  for (const char* answer : {"installButton", "notNowButton"}) {
    SCOPED_TRACE(answer);
    int installs = 0;
    QPointer<QMessageBox> box = makeUpdateOfferBox(nullptr, "1.4.0-1", [&] { ++installs; });
    EXPECT_EQ(box->text().toStdString(), "Tamsel 1.4.0-1 is available. Install it now?");
    box->open();
    box->findChild<QPushButton*>(answer)->click();
    EXPECT_EQ(installs, QString(answer) == "installButton" ? 1 : 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());
  }
}

}  // namespace
}  // namespace nubrik
