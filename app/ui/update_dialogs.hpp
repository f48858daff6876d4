#pragma once

#include <functional>
#include <string>

#include "app/update_control_package_manager.hpp"

class QMessageBox;
class QWidget;

namespace nubrik {

// The boxes of "Check for Updates…". Each deletes itself when closed; the caller opens it.

// What a check or an install came to.
QMessageBox* makeUpdateNoticeBox(QWidget* parent, const UpdateCheckNotice& notice);

// A newer version is available: "Install" runs `install`, "Not Now" only closes the box.
QMessageBox* makeUpdateOfferBox(QWidget* parent, const std::string& version,
                                std::function<void()> install);

}  // namespace nubrik
