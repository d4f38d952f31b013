// menu.h - CMenu: a menu handle (the program uses it for its system menu).
#pragma once

#include <windows.h>

class CMenu {
public:
    HMENU m_hMenu;

    CMenu() : m_hMenu(NULL) {}
    virtual ~CMenu() {}

    // A temporary object for the menu (see handle_map.h); the menu itself
    // belongs to its window.
    static CMenu* FromHandle(HMENU hMenu);
    static void DeleteTempMap();

    operator HMENU() const { return m_hMenu; }
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = NULL);

private:
    CMenu(const CMenu&);
    CMenu& operator=(const CMenu&);
};
