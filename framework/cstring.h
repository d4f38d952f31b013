// cstring.h - CString: a counted ANSI string with the MFC interface the program uses.
//
// Text is held in the process's ANSI code page, as in an ANSI MFC program:
// LoadString converts the UTF-16 string resource with CP_ACP.
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() {}
    CString(const CString& other) : m_str(other.m_str) {}
    // A resource id made with MAKEINTRESOURCE loads that string, as in MFC.
    CString(LPCTSTR lpsz);
    CString(LPCTSTR lpch, int nLength);
    CString(TCHAR ch, int nRepeat = 1);

    CString& operator=(const CString& other);
    CString& operator=(LPCTSTR lpsz);
    CString& operator=(TCHAR ch);
    CString& operator+=(const CString& other);
    CString& operator+=(LPCTSTR lpsz);
    CString& operator+=(TCHAR ch);

    operator LPCTSTR() const { return m_str.c_str(); }
    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    TCHAR GetAt(int nIndex) const { return m_str.at(static_cast<size_t>(nIndex)); }
    TCHAR operator[](int nIndex) const { return GetAt(nIndex); }
    void SetAt(int nIndex, TCHAR ch) { m_str.at(static_cast<size_t>(nIndex)) = ch; }

    // Ordinal comparison (strcmp); the case-blind one is multibyte-aware (_mbsicmp).
    int Compare(LPCTSTR lpsz) const;
    int CompareNoCase(LPCTSTR lpsz) const;

    // printf-style formatting with the C runtime's rules.
    void Format(LPCTSTR lpszFormat, ...);
    void FormatV(LPCTSTR lpszFormat, va_list argList);

    // Loads string nID of the module's string table. The platform's resource
    // lookup picks the string block in the thread's language, block by block,
    // falling back by its own rules. FALSE (and an empty string) when the string
    // is missing or empty.
    BOOL LoadString(UINT nID);

    // Direct access for APIs that write into a buffer: GetBuffer makes room for
    // at least nMinBufLength characters plus the terminator; ReleaseBuffer sets
    // the length (to the first NUL when nNewLength is -1).
    LPTSTR GetBuffer(int nMinBufLength);
    LPTSTR GetBufferSetLength(int nNewLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    std::string m_str;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, LPCTSTR b);
CString operator+(LPCTSTR a, const CString& b);
CString operator+(const CString& a, TCHAR b);

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, LPCTSTR b);
bool operator==(LPCTSTR a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, LPCTSTR b);
bool operator!=(LPCTSTR a, const CString& b);
bool operator<(const CString& a, const CString& b);
bool operator<(const CString& a, LPCTSTR b);
bool operator<(LPCTSTR a, const CString& b);
