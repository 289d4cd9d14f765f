#include "AfxMenu.h"

#include <QAction>
#include <QMenu>

#include "AfxWnd.h"

CMenu::CMenu(CWnd* owner) : owner_(owner), menu_(std::make_unique<QMenu>(owner->GetWidget())) {}

CMenu::~CMenu() = default;

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCTSTR text) {
  if (flags & MF_SEPARATOR) {
    menu_->addSeparator();
    return TRUE;
  }
  QAction* action = menu_->addAction(QString::fromLocal8Bit(text ? text : ""));
  action->setData(QVariant::fromValue<qulonglong>(id));
  QObject::connect(action, &QAction::triggered, menu_.get(),
                   [owner = owner_, id] { owner->HandleMessage(WM_SYSCOMMAND, id, 0); });
  return TRUE;
}

void CMenu::Popup(const QPoint& globalPosition) {
  menu_->popup(globalPosition);
}
