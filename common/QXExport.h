// Export macros of the two shared libraries. On Windows the classes are exported from (or imported
// into) the DLLs; elsewhere the libraries are built with hidden visibility and the same macros mark
// what is public, so a class that lacks its macro fails to link here just as it would on Windows.
#pragma once

#if defined(_WIN32)
#if defined(QXCOMMON_BUILDING)
#define QXCOMMON_API __declspec(dllexport)
#else
#define QXCOMMON_API __declspec(dllimport)
#endif
#if defined(QXREGRES_BUILDING)
#define QXREGRES_API __declspec(dllexport)
#else
#define QXREGRES_API __declspec(dllimport)
#endif
#else
#define QXCOMMON_API __attribute__((visibility("default")))
#define QXREGRES_API __attribute__((visibility("default")))
#endif
