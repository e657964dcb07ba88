/* pyconfig.h: CPython 2.7 as a 32-bit Windows extension sees it (python27.dll,
 * built by the vendor's compiler), for the installed 2.7 headers. Only what
 * those headers read: the platform, the type sizes, how the interpreter's
 * functions and data are imported and the module's entry point exported. */
#ifndef Py_PYCONFIG_H
#define Py_PYCONFIG_H

#if !defined(_WIN32) || defined(_WIN64)
#error "this configuration is for 32-bit Windows extensions only"
#endif

/* ---- platform ---- */
#define MS_WIN32 1
#define MS_WINDOWS 1
#define WITH_THREAD 1 /* the interpreter lock and PyGILState_* */

/* ---- linkage: functions and data come from python27.dll (dllimport),
 * PyMODINIT_FUNC is dllexport ---- */
#define Py_ENABLE_SHARED 1
#define HAVE_DECLSPEC_DLL 1

/* ---- type sizes (ILP32) ---- */
#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_VOID_P 4
#define SIZEOF_SIZE_T 4
#define SIZEOF_FLOAT 4
#define SIZEOF_DOUBLE 8
#define SIZEOF_TIME_T 8
#define SIZEOF_WCHAR_T 2
#define HAVE_LONG_LONG 1
#if defined(__GNUC__) && (__SIZEOF_LONG__ != SIZEOF_LONG || __SIZEOF_POINTER__ != SIZEOF_VOID_P \
                          || __SIZEOF_SIZE_T__ != SIZEOF_SIZE_T || __SIZEOF_WCHAR_T__ != SIZEOF_WCHAR_T)
#error "the compiler's type sizes are not those of 32-bit Windows"
#endif

/* ---- what the interpreter was built with ---- */
/* Objects come from and go back to the interpreter's own allocator: the
 * object macros must call PyObject_Malloc/PyObject_Free, never this module's
 * C runtime (a different heap from python27.dll's). */
#define WITH_PYMALLOC 1
#define Py_USING_UNICODE 1
#define Py_UNICODE_SIZE 2 /* UCS-2, as wchar_t */

/* ---- this compiler's C library ---- */
#define HAVE_ERRNO_H 1
#define HAVE_STDDEF_H 1
/* mingw-w64 has C99 snprintf: without this the headers would rename
 * snprintf to the non-terminating _snprintf. */
#define HAVE_SNPRINTF 1

#endif /* Py_PYCONFIG_H */
