#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/fonts.h"

int main(int argc, char** argv) {
  // Widget tests run without a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QUNO_SOURCE_DIR", QUNO_TEST_SOURCE_DIR, 0);
  setenv("QUNO_BUILD_DIR", QUNO_TEST_BUILD_DIR, 0);
  QApplication app(argc, argv);
  SetUpFontSubstitutes();  // the pages measure their texts as in the program
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
