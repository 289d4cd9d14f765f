// Entry point of the dialog tests: a Qt application on the offscreen
// platform, then the tests.

#include <gtest/gtest.h>

#include <cstdlib>

#include "GuiTest.h"

std::function<void()> TestApplication::afterCrossThreadCall;

bool TestApplication::notify(QObject* receiver, QEvent* event) {
  const bool crossThreadCall = event->type() == QEvent::MetaCall;
  const bool result = QApplication::notify(receiver, event);
  if (crossThreadCall && afterCrossThreadCall) {
    afterCrossThreadCall();
  }
  return result;
}

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  TestApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
