#pragma once

#include "AfxDialog.h"

// Where an icon of iconSize pixels starts when centred in clientSize pixels:
// (clientSize - iconSize + 1) / 2, truncated toward zero.
constexpr int CenteredIconPosition(int clientSize, int iconSize) {
  return (clientSize - iconSize + 1) / 2;
}

// The main dialog: the two commands, the conversion options and the status
// line.
class CMainDialog : public CDialog {
 public:
  explicit CMainDialog(CWnd* parent = nullptr);
  ~CMainDialog() override;

  BOOL OnInitDialog() override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnAverage();
  void OnConvert();

  HICON m_hIcon;

  DECLARE_MESSAGE_MAP()
};
