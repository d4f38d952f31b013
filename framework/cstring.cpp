// cstring.cpp - CString.
#include "cstring.h"

#include "app.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

const int kStringsPerBlock = 16;

// The counted UTF-16 string nID inside its loaded string block, or NULL.
// The walk never leaves the block's bytes, whatever they hold.
const WCHAR* FindInStringBlock(const WCHAR* pBlock, DWORD cbBlock, UINT nID, int* pnLength)
{
    const WCHAR* pEnd = pBlock + cbBlock / sizeof(WCHAR);
    const WCHAR* p = pBlock;
    for (UINT i = 0; i < (nID % kStringsPerBlock); ++i) {
        if (p >= pEnd) return NULL;
        p += *p + 1;
    }
    if (p >= pEnd || p + 1 + *p > pEnd) return NULL;
    *pnLength = *p;
    return p + 1;
}

}  // namespace

CString::CString(LPCTSTR lpsz)
{
    if (lpsz != NULL) m_str = lpsz;
}

CString::CString(LPCTSTR lpch, int nLength)
{
    if (lpch != NULL && nLength > 0) m_str.assign(lpch, static_cast<size_t>(nLength));
}

CString& CString::operator=(const CString& other)
{
    m_str = other.m_str;
    return *this;
}

CString& CString::operator=(LPCTSTR lpsz)
{
    m_str = lpsz != NULL ? lpsz : "";
    return *this;
}

CString& CString::operator+=(const CString& other)
{
    m_str += other.m_str;
    return *this;
}

CString& CString::operator+=(LPCTSTR lpsz)
{
    if (lpsz != NULL) m_str += lpsz;
    return *this;
}

void CString::Format(LPCTSTR lpszFormat, ...)
{
    va_list argList;
    va_start(argList, lpszFormat);
    FormatV(lpszFormat, argList);
    va_end(argList);
}

void CString::FormatV(LPCTSTR lpszFormat, va_list argList)
{
    va_list argCount;
    va_copy(argCount, argList);
    int nLength = _vscprintf(lpszFormat, argCount);
    va_end(argCount);
    if (nLength <= 0) {
        m_str.clear();
        return;
    }
    std::string text(static_cast<size_t>(nLength) + 1, '\0');
    _vsnprintf(&text[0], text.size(), lpszFormat, argList);
    text.resize(static_cast<size_t>(nLength));
    m_str.swap(text);
}

BOOL CString::LoadString(UINT nID)
{
    m_str.clear();
    nID = LOWORD(nID);
    LPCTSTR lpszBlock = MAKEINTRESOURCE(nID / kStringsPerBlock + 1);
    HINSTANCE hInst = AfxFindResourceHandle(lpszBlock, RT_STRING);
    HRSRC hBlock = ::FindResource(hInst, lpszBlock, RT_STRING);
    HGLOBAL hData = hBlock != NULL ? ::LoadResource(hInst, hBlock) : NULL;
    const WCHAR* pBlock = hData != NULL ? static_cast<const WCHAR*>(::LockResource(hData)) : NULL;
    if (pBlock == NULL) return FALSE;

    int nWide = 0;
    const WCHAR* pText = FindInStringBlock(pBlock, ::SizeofResource(hInst, hBlock), nID, &nWide);
    if (pText == NULL || nWide == 0) return FALSE;
    int nBytes = ::WideCharToMultiByte(CP_ACP, 0, pText, nWide, NULL, 0, NULL, NULL);
    if (nBytes <= 0) return FALSE;
    m_str.resize(static_cast<size_t>(nBytes));
    ::WideCharToMultiByte(CP_ACP, 0, pText, nWide, &m_str[0], nBytes, NULL, NULL);
    return TRUE;
}

LPTSTR CString::GetBufferSetLength(int nNewLength)
{
    m_str.resize(static_cast<size_t>(nNewLength > 0 ? nNewLength : 0));
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        m_str.resize(strnlen(m_str.c_str(), m_str.size()));
    else if (static_cast<size_t>(nNewLength) < m_str.size())
        m_str.resize(static_cast<size_t>(nNewLength));
}

CString operator+(const CString& a, const CString& b) { CString s(a); s += b; return s; }
CString operator+(const CString& a, LPCTSTR b) { CString s(a); s += b; return s; }
