// The window tests run on one QApplication, offscreen unless told otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "resources/program_resources.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  qtr5::RegisterProgramResources(nullptr);  // the windows the tests create
  return RUN_ALL_TESTS();
}
