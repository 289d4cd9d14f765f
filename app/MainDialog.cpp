#include "MainDialog.h"

#include "AboutDialog.h"
#include "AfxApp.h"
#include "AfxIcon.h"
#include "AfxMenu.h"
#include "AfxPaint.h"
#include "Globals.h"
#include "Resource.h"

BEGIN_MESSAGE_MAP(CMainDialog, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_AVERAGE, &CMainDialog::OnAverage)
ON_BN_CLICKED(IDC_CONVERT, &CMainDialog::OnConvert)
END_MESSAGE_MAP()

CMainDialog::CMainDialog(CWnd* parent)
    : CDialog(IDD_MAIN, parent), m_hIcon(AfxGetApp()->LoadIcon(IDR_MAINFRAME)) {}

CMainDialog::~CMainDialog() = default;

void CMainDialog::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
}

BOOL CMainDialog::OnInitDialog() {
  CDialog::OnInitDialog();

  if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
    CString aboutItem;
    aboutItem.LoadString(IDS_ABOUTBOX);
    if (!aboutItem.IsEmpty()) {
      systemMenu->AppendMenu(MF_SEPARATOR);
      systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, aboutItem);
    }
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  GetDlgItem(IDC_AUTO)->SendMessage(BM_SETCHECK, BST_CHECKED, 0);
  g_pMainDialog = this;
  return TRUE;
}

void CMainDialog::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDialog about;
    about.DoModal();
  } else {
    CDialog::OnSysCommand(nID, lParam);
  }
}

void CMainDialog::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    CRect client;
    GetClientRect(&client);
    dc.DrawIcon(CenteredIconPosition(client.Width(), iconWidth),
                CenteredIconPosition(client.Height(), iconHeight), m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

HCURSOR CMainDialog::OnQueryDragIcon() {
  return m_hIcon;
}
