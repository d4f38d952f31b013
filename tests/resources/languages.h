// The 26 languages of Keyhaven's string table; six of them carry the English
// texts until they are translated.
#pragma once

#include <windows.h>

namespace restest {

constexpr LANGID kTableLanguages[] = {
    1026, 1029, 1030, 1031, 1032, 1033, 1035, 1036, 1038, 1039, 1040, 1041, 1042,
    1043, 1044, 1045, 1048, 1049, 1050, 1051, 1053, 1055, 1060, 2052, 2070, 3082,
};
constexpr LANGID kEnglishOnly[] = {1026, 1039, 1048, 1050, 1051, 1060};

}  // namespace restest
