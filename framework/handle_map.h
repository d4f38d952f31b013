// handle_map.h - maps from Win32 handles to the framework objects wrapping them.
//
// Permanent entries belong to objects that attached a handle themselves
// (CWnd::Attach). Temporary objects are made on demand by FromHandle for
// handles nobody attached; they live until the next idle time of the message
// loop (DeleteTemp), as in MFC, so a pointer from FromHandle or GetDlgItem must
// not be kept across messages. One user-interface thread uses these maps.
#pragma once

#include <map>

template <class TObject, class THandle, THandle TObject::*pHandle>
class CHandleMap {
public:
    TObject* LookupPermanent(THandle h) const
    {
        typename Map::const_iterator it = m_permanent.find(h);
        return it != m_permanent.end() ? it->second : NULL;
    }

    // The permanent object of h, else a temporary one (made on first use).
    TObject* FromHandle(THandle h)
    {
        if (h == NULL) return NULL;
        if (TObject* pObject = LookupPermanent(h)) return pObject;
        typename Map::iterator it = m_temporary.find(h);
        if (it != m_temporary.end()) return it->second;
        TObject* pTemp = new TObject;
        pTemp->*pHandle = h;
        m_temporary[h] = pTemp;
        return pTemp;
    }

    void SetPermanent(THandle h, TObject* pObject) { m_permanent[h] = pObject; }
    void RemovePermanent(THandle h) { m_permanent.erase(h); }

    // Deletes the temporary objects; their handles stay untouched.
    void DeleteTemp()
    {
        Map temporary;
        temporary.swap(m_temporary);
        for (typename Map::iterator it = temporary.begin(); it != temporary.end(); ++it) {
            it->second->*pHandle = NULL;
            delete it->second;
        }
    }

private:
    typedef std::map<THandle, TObject*> Map;
    Map m_permanent;
    Map m_temporary;
};
