// menu.h - CMenu: a menu handle (the program uses it for its system menu).
#pragma once

#include <windows.h>

#include "cstring.h"

class CMenu {
public:
    HMENU m_hMenu;

    CMenu() : m_hMenu(NULL) {}
    // Destroys an attached menu; temporary objects (FromHandle) never do.
    virtual ~CMenu();

    // A temporary object for a menu nobody attached (see handle_map.h).
    static CMenu* FromHandle(HMENU hMenu);
    static void DeleteTempMap();

    BOOL Attach(HMENU hMenu);
    HMENU Detach();
    HMENU GetSafeHmenu() const { return m_hMenu; }
    operator HMENU() const { return m_hMenu; }
    BOOL DestroyMenu();

    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = NULL);
    UINT GetMenuItemCount() const;
    UINT GetMenuItemID(int nPos) const;
    int GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const;

private:
    CMenu(const CMenu&);
    CMenu& operator=(const CMenu&);
};
