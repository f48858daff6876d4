#include "app/ui/update_dialogs.hpp"

#include <QMessageBox>
#include <QPushButton>
#include <utility>

namespace nubrik {

namespace {

const QString title = QStringLiteral("Check for Updates");

}  // namespace

QMessageBox* makeUpdateNoticeBox(QWidget* parent, const UpdateCheckNotice& notice) {
  auto* box = new QMessageBox(QMessageBox::Information, title, QString::fromStdString(notice.text),
                              QMessageBox::Ok, parent);
  box->setObjectName(QStringLiteral("updateNotice"));
  // Versions and error details come from the package service: never read them as markup.
  box->setTextFormat(Qt::PlainText);
  box->setAttribute(Qt::WA_DeleteOnClose);
  return box;
}

QMessageBox* makeUpdateOfferBox(QWidget* parent, const std::string& version,
                                std::function<void()> install) {
  auto* box = new QMessageBox(QMessageBox::Question, title,
                              QString::fromStdString(updateOfferText(version)),
                              QMessageBox::NoButton, parent);
  box->setObjectName(QStringLiteral("updateOffer"));
  box->setTextFormat(Qt::PlainText);
  box->setInformativeText(QStringLiteral("Installing asks for an administrator's password."));
  QPushButton* installButton = box->addButton(QStringLiteral("Install"), QMessageBox::AcceptRole);
  installButton->setObjectName(QStringLiteral("installButton"));
  box->addButton(QStringLiteral("Not Now"), QMessageBox::RejectRole)
      ->setObjectName(QStringLiteral("notNowButton"));
  box->setDefaultButton(installButton);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(installButton, &QPushButton::clicked, box,
                   [install = std::move(install)] { install(); });
  return box;
}

}  // namespace nubrik
