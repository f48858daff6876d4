// The desktop app. `tamsel` starts this program after giving up its group; see desktop_launch.
#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return 0;
}
