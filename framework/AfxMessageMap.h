#pragma once

// Message maps: a table per class that binds a message (and for commands a
// notification code and control id) to a member function, searched from the
// most derived class to its bases.

#include "AfxWinTypes.h"

class CCmdTarget;

// The kinds of handler a map entry can call.
enum class AfxSig {
  end,  // ends a table
  vv,   // void ()
  vwl,  // void (UINT, LPARAM)
  hv,   // HCURSOR ()
};

// The handler, stored as a member of the base class: a derived class's
// member converts to its base's with static_cast, and is called as such.
union AfxHandler {
  void (CCmdTarget::*vv)();
  void (CCmdTarget::*vwl)(UINT, LPARAM);
  HCURSOR (CCmdTarget::*hv)();
};

struct AFX_MSGMAP_ENTRY {
  UINT message;
  UINT code;
  UINT id;
  AfxSig sig;
  AfxHandler pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*baseMap)();
  const AFX_MSGMAP_ENTRY* entries;
};

// Root of every class with a message map.
class CCmdTarget {
 public:
  virtual ~CCmdTarget();

  // Calls the handler for message/code/id if the map chain has one; the
  // handler's result goes to *result. Returns whether a handler ran.
  bool OnWndMsg(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam, LRESULT* result);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)        \
  const AFX_MSGMAP* theClass::GetMessageMap() const { \
    return GetThisMessageMap();                       \
  }                                                   \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
    using ThisClass [[maybe_unused]] = theClass;      \
    using TheBaseClass = baseClass;                   \
    static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                        \
  {                                                                              \
    0, 0, 0, AfxSig::end, {}                                                     \
  }                                                                              \
  }                                                                              \
  ;                                                                              \
  static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, &entries[0]}; \
  return &map;                                                                   \
  }

#define ON_WM_SYSCOMMAND() \
  {WM_SYSCOMMAND,          \
   0,                      \
   0,                      \
   AfxSig::vwl,            \
   {.vwl = static_cast<void (CCmdTarget::*)(UINT, LPARAM)>(&ThisClass::OnSysCommand)}},
#define ON_WM_PAINT() \
  {WM_PAINT, 0, 0, AfxSig::vv, {.vv = static_cast<void (CCmdTarget::*)()>(&ThisClass::OnPaint)}},
#define ON_WM_QUERYDRAGICON() \
  {WM_QUERYDRAGICON,          \
   0,                         \
   0,                         \
   AfxSig::hv,                \
   {.hv = static_cast<HCURSOR (CCmdTarget::*)()>(&ThisClass::OnQueryDragIcon)}},
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND,                    \
   BN_CLICKED,                    \
   static_cast<UINT>(id),         \
   AfxSig::vv,                    \
   {.vv = static_cast<void (CCmdTarget::*)()>(memberFxn)}},
#define ON_BN_CLICKED(id, memberFxn) ON_COMMAND(id, memberFxn)
