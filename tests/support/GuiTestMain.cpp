// Entry point of the dialog tests: a Qt application on the offscreen
// platform, then the tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "GuiTest.h"
#include "TempFolder.h"

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
  // A dialog that nothing answers would wait forever: every GUI test program
  // ends within five minutes, as a failure if it has not ended by then.
  alarm(300);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The file dialogs keep their state under the configuration folder: the
  // tests' own, never the user's.
  const TempFolder configuration;
  setenv("XDG_CONFIG_HOME", configuration.Path().c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  TestApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
