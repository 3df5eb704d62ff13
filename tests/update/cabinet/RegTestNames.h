/* Names shared by the registration test and its test libraries. */
#ifndef QV_TESTS_CABINET_REGTESTNAMES_H
#define QV_TESTS_CABINET_REGTESTNAMES_H

/* Written under HKEY_CURRENT_USER by QvRegOk.dll's DllRegisterServer. */
#define QV_REG_TEST_KEY "Software\\QVSetupTests\\ComponentRegistration"
/* The current folder at the call. */
#define QV_REG_TEST_FOLDER_VALUE "CurrentFolder"
/* What QvRegDep.dll (beside QvRegOk.dll) answered. */
#define QV_REG_TEST_ANSWER_VALUE "DependencyAnswer"
#define QV_REG_TEST_ANSWER 0x51560001u

/* QvRegFail.dll appends "<program>|<current folder>" lines to its own path
   plus this suffix each time its DllRegisterServer runs. */
#define QV_REG_TEST_CALLS_SUFFIX ".calls"

#endif
