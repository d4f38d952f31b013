#include "thread_language.h"

namespace testsupport {

ThreadLanguage::ThreadLanguage(LANGID language) : previousUi_(GetThreadUILanguage()), previousLocale_(GetThreadLocale())
{
    SetThreadUILanguage(language);
    SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
}

ThreadLanguage::~ThreadLanguage()
{
    SetThreadLocale(previousLocale_);
    SetThreadUILanguage(previousUi_);
}

}  // namespace testsupport
