// The desktop app. `tamsel` (no command, or `tamsel gui`) starts this program once it has given
// up its group, handing it the broker that makes its connections to the helper.
#include "app/ui/desktop_main.hpp"

int main(int argc, char** argv) {
  return nubrik::runDesktopApp(argc, argv);
}
