#include "AfxMenu.h"

CMenu::CMenu(HMENU menu) : m_hMenu(menu) {}

// The system menu belongs to its window, which destroys it.
CMenu::~CMenu() = default;

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCTSTR text) {
  return ::AppendMenuA(m_hMenu, flags, id, text);
}
