/* What QvPlanted.dll leaves beside itself when a process loads it. */
#ifndef QV_TESTS_PLATFORM_PLANTEDDLL_H
#define QV_TESTS_PLATFORM_PLANTEDDLL_H

/* Appended to the path the DLL was loaded from: "cabinet.dll.loaded". */
#define QV_PLANTED_MARKER_SUFFIX ".loaded"

#endif
