// cstring.h - CString: a counted ANSI string with the MFC interface the program uses.
//
// Text is held in the process's ANSI code page, as in an ANSI MFC program:
// LoadString converts the UTF-16 string resource with CP_ACP.
#pragma once

#include <windows.h>

#include <stdarg.h>

#include <string>

class CString {
public:
    CString() {}
    CString(const CString& other) : m_str(other.m_str) {}
    CString(LPCTSTR lpsz);
    CString(LPCTSTR lpch, int nLength);

    CString& operator=(const CString& other);
    CString& operator=(LPCTSTR lpsz);
    CString& operator+=(const CString& other);
    CString& operator+=(LPCTSTR lpsz);

    operator LPCTSTR() const { return m_str.c_str(); }
    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    // printf-style formatting with the C runtime's rules, of any length.
    void Format(LPCTSTR lpszFormat, ...);

    // Loads string nID of the module's string table. The platform's resource
    // lookup picks the string block in the thread's language, block by block,
    // falling back by its own rules. FALSE (and an empty string) when the string
    // is missing or empty.
    BOOL LoadString(UINT nID);

    // Direct access for APIs that write into a buffer: GetBufferSetLength
    // makes room for nNewLength characters plus the terminator; ReleaseBuffer
    // then sets the length (to the first NUL when nNewLength is -1).
    LPTSTR GetBufferSetLength(int nNewLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    void FormatV(LPCTSTR lpszFormat, va_list argList);

    std::string m_str;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, LPCTSTR b);
