#pragma once

#include "AfxDialog.h"

// The about box, opened from the main dialog's system menu.
class CAboutDialog : public CDialog {
 public:
  CAboutDialog();

 protected:
  void DoDataExchange(CDataExchange* dx) override;

  DECLARE_MESSAGE_MAP()
};
