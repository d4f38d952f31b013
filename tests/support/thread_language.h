// Makes one language the calling thread's language for resource lookups and
// puts the previous one back on destruction. Sets both the UI language (which
// Windows' loader follows) and the thread locale (which Wine's loader follows).
#pragma once

#include <windows.h>

namespace testsupport {

class ThreadLanguage {
public:
    explicit ThreadLanguage(LANGID language) : previousUi_(GetThreadUILanguage()), previousLocale_(GetThreadLocale())
    {
        SetThreadUILanguage(language);
        SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
    }
    ~ThreadLanguage()
    {
        SetThreadLocale(previousLocale_);
        SetThreadUILanguage(previousUi_);
    }
    ThreadLanguage(const ThreadLanguage&) = delete;
    ThreadLanguage& operator=(const ThreadLanguage&) = delete;

private:
    LANGID previousUi_;
    LCID previousLocale_;
};

}  // namespace testsupport
