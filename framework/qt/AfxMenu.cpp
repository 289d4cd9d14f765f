#include "AfxMenu.h"

#include <QAction>
#include <QMenu>

#include "AfxNative.h"
#include "AfxWnd.h"

CMenu::CMenu(CWnd* owner)
    : native_(std::make_unique<AfxNativeMenu>(
          AfxNativeMenu{owner, std::make_unique<QMenu>(AfxWidgetOf(owner))})) {}

CMenu::~CMenu() = default;

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCTSTR text) {
  QMenu* menu = native_->menu.get();
  if (flags & MF_SEPARATOR) {
    menu->addSeparator();
    return TRUE;
  }
  QAction* action = menu->addAction(QString::fromLocal8Bit(text ? text : ""));
  action->setData(QVariant::fromValue<qulonglong>(id));
  QObject::connect(action, &QAction::triggered, menu,
                   [owner = native_->owner, id] { owner->HandleMessage(WM_SYSCOMMAND, id, 0); });
  return TRUE;
}

QMenu* AfxQMenuOf(const CMenu* menu) {
  return menu != nullptr ? menu->Native().menu.get() : nullptr;
}
