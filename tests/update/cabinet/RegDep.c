/* QvRegDep.dll: the dependency of QvRegOk.dll, found only in its folder. */
#include <windows.h>

#include "RegTestNames.h"

__declspec(dllexport) DWORD QvRegDependencyAnswer(void) { return QV_REG_TEST_ANSWER; }
