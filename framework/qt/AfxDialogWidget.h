#pragma once

#include <QDialog>
#include <QFont>

#include "AfxResources.h"

class CDialog;
class QAbstractButton;
class QPaintEvent;

// The Qt side of a CDialog: a QDialog laid out from a dialog template,
// passing its events to the CDialog as window messages.
class AfxDialogWidget : public QDialog {
 public:
  AfxDialogWidget(CDialog* owner, const AfxDialogTemplate& dialogTemplate, QWidget* parent);

  // Default painting of the paint event being handled.
  void DefaultPaint();
  // The first control that takes the focus with Tab, or null.
  QWidget* FirstTabStop() const { return firstTabStop_; }

  // Dialog units to pixels with the dialog font's base units.
  int PixelsX(int units) const { return units * baseX_ / 4; }
  int PixelsY(int units) const { return units * baseY_ / 8; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QWidget* CreateControl(const AfxDialogControl& control);

  CDialog* owner_;
  QFont font_;
  int baseX_ = 1;
  int baseY_ = 1;
  QWidget* firstTabStop_ = nullptr;
  QAbstractButton* defaultButton_ = nullptr;
  QPaintEvent* currentPaint_ = nullptr;
};
