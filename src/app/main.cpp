// vantel3-updater: updates a Vantel 3 device from the package folder ./data.
#include "app/updater_main.h"

int main(int argc, char** argv) {
  return vantel3::UpdaterMain(argc, argv);
}
