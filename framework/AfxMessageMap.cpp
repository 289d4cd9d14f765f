#include "AfxMessageMap.h"

CCmdTarget::~CCmdTarget() = default;

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, AfxSig::end, {}}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
  return GetThisMessageMap();
}

bool CCmdTarget::OnWndMsg(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam,
                          LRESULT* result) {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->baseMap ? map->baseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->entries; entry->sig != AfxSig::end; ++entry) {
      if (entry->message != message) {
        continue;
      }
      if (message == WM_COMMAND && (entry->code != code || entry->id != id)) {
        continue;
      }
      switch (entry->sig) {
        case AfxSig::end:
          break;
        case AfxSig::vv:
          (this->*entry->pfn.vv)();
          *result = 0;
          break;
        case AfxSig::vwl:
          (this->*entry->pfn.vwl)(static_cast<UINT>(wParam), lParam);
          *result = 0;
          break;
        case AfxSig::hv:
          *result = reinterpret_cast<LRESULT>((this->*entry->pfn.hv)());
          break;
      }
      return true;
    }
  }
  return false;
}
