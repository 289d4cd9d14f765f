#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <span>
#include <string>
#include <thread>

#include "AfxDialogWidget.h"
#include "AfxErrorReport.h"
#include "AfxIcon.h"
#include "AfxMenu.h"
#include "AfxNative.h"
#include "AfxResources.h"
#include "Globals.h"
#include "GuiTest.h"
#include "MainApp.h"
#include "MainDialog.h"
#include "Resource.h"

namespace {

QWidget* Control(CWnd& dialog, int id) {
  return AfxWidgetOf(dialog.GetDlgItem(id));
}

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { theApp.m_pMainWnd = &dialog_; }
  void TearDown() override { theApp.m_pMainWnd = nullptr; }

  CMainDialog dialog_;
};

TEST_F(MainDialogTest, OpensWithItsInitialState) {
  RunModal(dialog_, [&] {
    EXPECT_EQ(AfxWidgetOf(&dialog_)->windowTitle(), "Tessary");
    EXPECT_EQ(std::string(dialog_.GetDlgItem(IDC_STATUS)->GetWindowText()), "Ready.");
    EXPECT_TRUE(IsChecked(dialog_, IDC_AUTO));
    EXPECT_FALSE(IsChecked(dialog_, IDC_COLOR));
    EXPECT_FALSE(IsChecked(dialog_, IDC_GRAYSCALE));
    EXPECT_FALSE(IsChecked(dialog_, IDC_REMOVE_TIF));
    EXPECT_EQ(g_pMainDialog, &dialog_);
    EXPECT_FALSE(AfxWidgetOf(&dialog_)->windowIcon().isNull());
    EXPECT_EQ(AfxWidgetOf(&dialog_)->focusWidget(), Control(dialog_, IDC_AVERAGE));
    EXPECT_EQ(dialog_.SendMessage(WM_QUERYDRAGICON),
              reinterpret_cast<LRESULT>(AfxLoadIcon(IDR_MAINFRAME)));
  });
}

TEST_F(MainDialogTest, ControlsFollowTheTemplate) {
  RunModal(dialog_, [&] {
    auto* widget = static_cast<AfxDialogWidget*>(AfxWidgetOf(&dialog_));
    // Dialog units become pixels with the dialog font's base units: the
    // average width of the 52 Latin letters, rounded, and the font's height.
    const QFontMetrics metrics(widget->font());
    int letters = 0;
    for (const char* c = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"; *c != 0; ++c) {
      letters += metrics.horizontalAdvance(QChar(*c));
    }
    const int baseX = (letters / 26 + 1) / 2;
    const int baseY = metrics.height();
    const auto pixels = [&](int x, int y, int cx, int cy) {
      return QRect(x * baseX / 4, y * baseY / 8, cx * baseX / 4, cy * baseY / 8);
    };
    const AfxDialogTemplate* main = AfxFindDialogTemplate(IDD_MAIN);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(QRect(QPoint(), widget->size()), pixels(0, 0, main->cx, main->cy));
    struct Expected {
      int id;
      const char* type;
      const char* text;
    };
    const Expected controls[] = {
        {IDC_AVERAGE, "QPushButton", "&Average Images ..."},
        {IDC_CONVERT, "QPushButton", "&Convert to BMP ..."},
        {IDC_STATUS, "QLabel", "Ready."},
        {IDC_AUTO, "QRadioButton", "A&uto"},
        {IDC_COLOR, "QRadioButton", "Co&lor"},
        {IDC_GRAYSCALE, "QRadioButton", "&Grayscale"},
        {IDC_REMOVE_TIF, "QCheckBox", "&Remove TIF"},
    };
    for (const Expected& c : controls) {
      QWidget* control = Control(dialog_, c.id);
      ASSERT_NE(control, nullptr) << c.id;
      EXPECT_STREQ(control->metaObject()->className(), c.type) << c.id;
      EXPECT_EQ(std::string(dialog_.GetDlgItem(c.id)->GetWindowText()), c.text);
      const auto in = std::find_if(main->controls.begin(), main->controls.end(),
                                   [&](const AfxDialogControl& t) { return t.id == c.id; });
      ASSERT_NE(in, main->controls.end()) << c.id;
      EXPECT_EQ(control->geometry(), pixels(in->x, in->y, in->cx, in->cy)) << c.id;
    }
    auto* status = qobject_cast<QLabel*>(Control(dialog_, IDC_STATUS));
    EXPECT_EQ(status->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_EQ(status->frameShadow(), QFrame::Sunken);
    const auto groups = widget->findChildren<QGroupBox*>();
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups.front()->title(), "TIF to BMP");
    // No default push button in the main dialog.
    for (QPushButton* button : widget->findChildren<QPushButton*>()) {
      EXPECT_FALSE(button->isDefault());
    }
  });
}

TEST_F(MainDialogTest, TabOrderFollowsTheTemplate) {
  RunModal(dialog_, [&] {
    const int order[] = {IDC_AVERAGE, IDC_CONVERT,   IDC_AUTO,
                         IDC_COLOR,   IDC_GRAYSCALE, IDC_REMOVE_TIF};
    QWidget* widget = Control(dialog_, order[0]);
    for (int next : std::span(order).subspan(1)) {
      do {
        widget = widget->nextInFocusChain();
      } while (widget->focusPolicy() == Qt::NoFocus);
      EXPECT_EQ(widget, Control(dialog_, next));
    }
    EXPECT_EQ(Control(dialog_, IDC_STATUS)->focusPolicy(), Qt::NoFocus);
  });
}

TEST_F(MainDialogTest, RadioButtonsExcludeOneAnother) {
  RunModal(dialog_, [&] {
    QTest::mouseClick(qobject_cast<QAbstractButton*>(Control(dialog_, IDC_COLOR)), Qt::LeftButton);
    EXPECT_TRUE(IsChecked(dialog_, IDC_COLOR));
    EXPECT_FALSE(IsChecked(dialog_, IDC_AUTO));
    QTest::mouseClick(qobject_cast<QAbstractButton*>(Control(dialog_, IDC_GRAYSCALE)),
                      Qt::LeftButton);
    EXPECT_TRUE(IsChecked(dialog_, IDC_GRAYSCALE));
    EXPECT_FALSE(IsChecked(dialog_, IDC_COLOR));
    QTest::mouseClick(qobject_cast<QAbstractButton*>(Control(dialog_, IDC_REMOVE_TIF)),
                      Qt::LeftButton);
    EXPECT_TRUE(IsChecked(dialog_, IDC_REMOVE_TIF));
    EXPECT_TRUE(IsChecked(dialog_, IDC_GRAYSCALE));
  });
}

TEST_F(MainDialogTest, MnemonicsReachTheirControls) {
  RunModal(dialog_, [&] {
    QWidget* widget = AfxWidgetOf(&dialog_);
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget));
    // A mnemonic presses its button as a click with a short animation.
    QWindow* window = widget->windowHandle();
    const std::pair<Qt::Key, int> mnemonics[] = {{Qt::Key_L, IDC_COLOR},
                                                 {Qt::Key_G, IDC_GRAYSCALE},
                                                 {Qt::Key_U, IDC_AUTO},
                                                 {Qt::Key_R, IDC_REMOVE_TIF}};
    for (const auto& [key, id] : mnemonics) {
      QTest::keyClick(window, key, Qt::AltModifier);
      const int button = id;
      EXPECT_TRUE(QTest::qWaitFor([&] { return IsChecked(dialog_, button); }, 2000)) << button;
    }
    EXPECT_FALSE(IsChecked(dialog_, IDC_COLOR));
  });
}

// Opens the about box by running trigger, checks it and presses its OK.
void ExpectAboutBoxFrom(CDialog& main, const std::function<void()>& trigger) {
  bool seen = false;
  WhenModal<QDialog>([&](QDialog* about) {
    seen = about->windowTitle() == "About Tessary";
    const auto labels = about->findChildren<QLabel*>();
    bool hasText = false;
    for (QLabel* label : labels) {
      hasText = hasText || label->text() == "Tessary Version 1.0";
    }
    EXPECT_TRUE(hasText);
    auto* ok = about->findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  trigger();
  EXPECT_TRUE(seen);
  EXPECT_TRUE(AfxWidgetOf(&main)->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), AfxWidgetOf(&main));
}

TEST_F(MainDialogTest, SystemMenuHoldsCloseThenAbout) {
  RunModal(dialog_, [&] {
    QMenu* menu = AfxQMenuOf(dialog_.GetSystemMenu(FALSE));
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_TRUE(actions[0]->text().startsWith("&Close"));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), "&About Tessary...");
    ExpectAboutBoxFrom(dialog_, [&] { actions[2]->trigger(); });
    // Every id whose upper bits match opens it too.
    ExpectAboutBoxFrom(dialog_, [&] { dialog_.SendMessage(WM_SYSCOMMAND, 17, 0); });
  });
}

TEST_F(MainDialogTest, RightClickOnTheBackgroundOpensTheSystemMenu) {
  RunModal(dialog_, [&] {
    QWidget* widget = AfxWidgetOf(&dialog_);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                            widget->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(widget, &event);
    EXPECT_TRUE(AfxQMenuOf(dialog_.GetSystemMenu(FALSE))->isVisible());
    AfxQMenuOf(dialog_.GetSystemMenu(FALSE))->close();
  });
}

TEST_F(MainDialogTest, AltSpaceOpensTheSystemMenuWhateverHasTheFocus) {
  RunModal(dialog_, [&] {
    QMenu* menu = AfxQMenuOf(dialog_.GetSystemMenu(FALSE));
    // A pressed button's file dialog is noted and cancelled.
    bool fileDialogOpened = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        fileDialogOpened = true;
        fileDialog->reject();
      }
    });
    watcher.start(10);
    for (const int id : {IDC_AVERAGE, IDC_CONVERT, IDC_COLOR, IDC_REMOVE_TIF}) {
      QWidget* control = Control(dialog_, id);
      control->setFocus();
      QTest::keyClick(control, Qt::Key_Space, Qt::AltModifier);
      EXPECT_TRUE(menu->isVisible()) << id;
      menu->close();
      // The focused control was not pressed: no file dialog, no new check.
      EXPECT_FALSE(fileDialogOpened) << id;
      EXPECT_FALSE(IsChecked(dialog_, IDC_COLOR));
      EXPECT_FALSE(IsChecked(dialog_, IDC_REMOVE_TIF));
    }
  });
}

TEST(GuiTestSetup, FileDialogStateStaysOutOfTheUsersHome) {
  const std::string configuration =
      QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
  EXPECT_EQ(
      configuration.rfind((std::filesystem::temp_directory_path() / "tessary-test-").string(), 0),
      0u)
      << configuration;
}

TEST_F(MainDialogTest, EscapeCloseBoxAndSystemCloseEndTheDialog) {
  EXPECT_EQ(RunModal(dialog_, [&] { QTest::keyClick(AfxWidgetOf(&dialog_), Qt::Key_Escape); }),
            IDCANCEL);
  EXPECT_EQ(RunModal(dialog_, [&] { AfxWidgetOf(&dialog_)->close(); }), IDCANCEL);
  EXPECT_EQ(
      RunModal(dialog_, [&] { AfxQMenuOf(dialog_.GetSystemMenu(FALSE))->actions()[0]->trigger(); }),
      IDCANCEL);
  // Enter, with no push button to take it, is OK.
  EXPECT_EQ(RunModal(dialog_,
                     [&] {
                       Control(dialog_, IDC_AUTO)->setFocus();
                       QTest::keyClick(AfxWidgetOf(&dialog_), Qt::Key_Return);
                     }),
            IDOK);
}

TEST_F(MainDialogTest, WorkerThreadCallsAreServedByTheInterfaceThread) {
  RunModal(dialog_, [&] {
    std::atomic<bool> done = false;
    LRESULT autoState = -1;
    LRESULT colorState = -1;
    bool onInterfaceThread = true;
    std::thread worker([&] {
      dialog_.SetDlgItemText(IDC_STATUS, "Processing /tmp/a.tif...");
      autoState = dialog_.GetDlgItem(IDC_AUTO)->SendMessage(BM_GETCHECK, 0, 0);
      colorState = dialog_.GetDlgItem(IDC_COLOR)->SendMessage(BM_GETCHECK, 0, 0);
      onInterfaceThread = QThread::currentThread() == QApplication::instance()->thread();
      done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000));
    worker.join();
    EXPECT_FALSE(onInterfaceThread);
    EXPECT_EQ(autoState, BST_CHECKED);
    EXPECT_EQ(colorState, BST_UNCHECKED);
    EXPECT_EQ(qobject_cast<QLabel*>(Control(dialog_, IDC_STATUS))->text(),
              "Processing /tmp/a.tif...");
  });
}

}  // namespace
