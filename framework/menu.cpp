// menu.cpp - CMenu.
#include "menu.h"

#include "handle_map.h"

namespace {

typedef CHandleMap<CMenu, HMENU, &CMenu::m_hMenu> CMenuMap;

CMenuMap& MenuMap()
{
    static CMenuMap map;
    return map;
}

}  // namespace

CMenu* CMenu::FromHandle(HMENU hMenu) { return MenuMap().FromHandle(hMenu); }
void CMenu::DeleteTempMap() { MenuMap().DeleteTemp(); }

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCTSTR lpszNewItem)
{
    return ::AppendMenu(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}
