#pragma once

#include <string>

#include "app/helper_setup_state.hpp"
#include "app/login_item.hpp"

namespace nubrik {

// The app starts at login through an XDG autostart entry, <config home>/autostart/tamsel.desktop.
inline constexpr const char* autostartEntryName = "tamsel.desktop";

// The user's configuration home: $XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config, with the home from the password database when HOME is not an absolute path.
// The installed app runs setgid, so the environment counts only where the process may trust it
// (secure_getenv); the password database's home is used otherwise.
std::string userConfigHome();

// This program's path, as a login entry should start it. An executable replaced by an upgrade
// since it started is still named by its path.
std::string currentExecutablePath();

// The program a login entry starts: always the `tamsel` launcher, also when the desktop program
// asks, since only the launcher carries what the helper serves. The desktop program lives in
// <prefix>/libexec/nubrik beside an installed <prefix>/bin/tamsel, or in a build tree beside
// `tamsel` itself; any other program is returned as it is.
std::string loginItemProgram(const std::string& executable);

// The desktop entry that starts `executable`. Throws LoginItemError for a path that is not
// absolute, or that an entry cannot carry (control characters, not UTF-8).
std::string autostartDesktopEntry(const std::string& executable);

// enabled: the entry is there; requiresApproval: the user turned it off (Hidden=true or
// X-GNOME-Autostart-enabled=false), which the app leaves alone; notRegistered: no entry (a
// symbolic link in its place is not one); unknown: it cannot be read.
RegistrationStatus autostartStatus(const std::string& configHome);

// Writes the entry atomically (a temporary file, synced, renamed over whatever is in its place,
// including a symbolic link, which is never followed), mode 0644, and creates the configuration
// home and its autostart directory (mode 0700) when missing. Throws LoginItemError.
void registerAutostart(const std::string& configHome, const std::string& executable);

// Removes the entry; nothing there is fine. Throws LoginItemError.
void unregisterAutostart(const std::string& configHome);

// The three operations over one configuration home and executable.
LoginItemDependencies autostartLoginItem(std::string configHome, std::string executable);
// Over userConfigHome() and loginItemProgram(currentExecutablePath()), resolved now.
LoginItemDependencies productionLoginItem();

}  // namespace nubrik
