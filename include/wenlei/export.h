/*
 * How the library marks the functions it exports; included by both public
 * headers.  Building the library defines WENLEI_BUILDING_LIBRARY: on Windows
 * the DLL exports what a host imports, elsewhere these are the only symbols
 * the shared library shows.
 */
#ifndef WENLEI_EXPORT_H_
#define WENLEI_EXPORT_H_

#if defined(_WIN32)
#if defined(WENLEI_BUILDING_LIBRARY)
#define WENLEI_EXPORT __declspec(dllexport)
#else
#define WENLEI_EXPORT __declspec(dllimport)
#endif
/* The five classification functions' calling convention on 32-bit hosts. */
#define WENLEI_CALL __cdecl
#else
#define WENLEI_EXPORT __attribute__((visibility("default")))
#define WENLEI_CALL
#endif

#endif /* WENLEI_EXPORT_H_ */
