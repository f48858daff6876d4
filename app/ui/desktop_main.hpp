#pragma once

#include <functional>

namespace nubrik {

class DesktopApp;

// The desktop program: takes over the broker socket, makes the QApplication, leaves at once when
// another copy runs (having brought that one's window forward), and runs the app. `started`, when
// given, is called once the app has started, for a program that drives it.
int runDesktopApp(int argc, char** argv, const std::function<void(DesktopApp&)>& started = {});

}  // namespace nubrik
