/* kestrel.h — the public interface of the Kestrel zip library.
 *
 * Four functions pack and unpack zip archives. Paths are zero-terminated 8-bit strings in the
 * ANSI code page (936, GBK, unless the host changes it), written as Windows paths that start
 * with a drive letter: "C:\data\in.zip". On Linux the drive table maps letters to host
 * directories (by default C: is "/", so "C:\tmp\a.zip" is "/tmp/a.zip").
 *
 * Threading: every call runs to its end on the caller's thread. UnZipFile is not re-entrant
 * (a nested extraction is refused); do not call the library from two threads at once.
 * User interaction: the library asks and reports only through message boxes (on Linux, the
 * installed message handler, see below); the texts are Simplified Chinese in code page 936.
 * Ownership: the library keeps no pointer the caller passed in; the caller never frees a
 * pointer the library returns.
 */
#ifndef KESTREL_H
#define KESTREL_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define KESTREL_CALL __stdcall
#if defined(KESTREL_BUILDING_LIBRARY)
/* The DLL's .def file alone names the exports (and their ordinals): no dllexport here, or
 * the decorated C names would be exported beside them. */
#define KESTREL_API
#else
#define KESTREL_API __declspec(dllimport)
#endif
#else
#define KESTREL_CALL
#if defined(KESTREL_BUILDING_LIBRARY)
#define KESTREL_API __attribute__((visibility("default")))
#else
#define KESTREL_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's file version, "1.0.0.0", read from its version resource; an empty string
 * (never a null pointer) when there is none. The text stays valid until the library is
 * unloaded. On Windows this function is exported under the name GetVersion (ordinal 1); the
 * C name differs because <windows.h> declares a GetVersion of its own. */
KESTREL_API const char* KESTREL_CALL KestrelGetVersion(void);

/* Packs source (one file, or a directory: its contents under "*.*") into zipName at
 * packLevel (0 stores, 1-9 deflate). Names are stored relative to the source's directory;
 * subdirectories are descended into when the low byte of recurse is non-zero. If zipName
 * exists the user is asked whether to overwrite it. A zipName on drive A: is built on C:
 * and written across floppy disks as a volume set.
 * Result: the number of files packed, or -1 when the user declined to overwrite or the
 * archive could not be written (the old archive, if any, is then unchanged). */
KESTREL_API int32_t KESTREL_CALL ZipFile(const char* source, const char* zipName,
                                         const char* reserved, int32_t packLevel,
                                         int32_t recurse);

/* 1 when path names a zip archive (or a DOS self-extracting one), else 0. */
KESTREL_API uint8_t KESTREL_CALL isZip(const char* path);

/* Unpacks every entry of source into destDir, creating the directory chain and restoring
 * each file's time and attributes. A source on drive A: that is a volume set is joined in
 * the temporary directory first. Entries that fail (CRC error, encrypted, unsupported
 * method, unsafe name: one that would leave destDir or, on Windows, open a device such as
 * CON or nul.txt) are skipped. Result: 1 when the archive was recognised and walked,
 * 0 when it is not a zip archive, destDir is unusable, or joining a volume set failed. */
KESTREL_API uint8_t KESTREL_CALL UnZipFile(const char* source, const char* destDir,
                                           const char* reserved);

#if !defined(_WIN32)
/* GetVersion under its exported name, for Linux hosts. */
KESTREL_API const char* GetVersion(void);

/* ---- Host hooks (Linux only) --------------------------------------------------------- */

/* Message boxes. caption and text are code page 936 bytes exactly as the library fixes
 * them; flags are the Win32 MB_* bits (0x2000 OK, 0x2001 OK/Cancel, 0x2004 Yes/No).
 * Return the button: 1 OK, 2 Cancel, 6 Yes, 7 No. With no handler installed (or after
 * installing NULL) the text goes to stderr and the answer is OK for 0x2000, Cancel for
 * 0x2001 and No for 0x2004, so nothing ever blocks. */
typedef int (*kestrel_message_handler)(void* context, const char* caption, const char* text,
                                       unsigned flags);
KESTREL_API void kestrel_set_message_handler(kestrel_message_handler handler, void* context);

/* Maps drive letter to the host directory hostDir. With removable non-zero the drive acts
 * as a 1.44 MB floppy (1,474,560 bytes, volume label kept beside the directory). Returns 1
 * on success, 0 when the letter or directory is unusable. */
KESTREL_API int kestrel_map_drive(char letter, const char* hostDir, int removable);

/* Sets or clears the cancel request that the Escape key makes on Windows. */
KESTREL_API void kestrel_set_cancel(int cancel);

/* Sets the ANSI and OEM code pages used for names (both 936 by default). Returns 1 when
 * both can be converted to and from UTF-8, 0 otherwise (nothing changes then). */
KESTREL_API int kestrel_set_code_pages(int ansi, int oem);

/* The message of the last failure that ZipFile or UnZipFile reported by its result, as
 * UTF-8 text; an empty string when the last call succeeded. Valid until the next call. */
KESTREL_API const char* kestrel_last_error(void);

/* ==== Entry-level interface (Linux hosts) ================================================
 *
 * A second interface beside the four functions, for programs that work entry by entry.
 * Conventions, for every function below unless it says otherwise:
 *  - Paths are native paths (UTF-8 on Linux, no drive letters); entry names are UTF-8 with
 *    '/' as the separator, whatever the archive stores.
 *  - Every function returns a kestrel_result: KESTREL_OK (0), or a negative code. The
 *    message explaining the last failure belongs to the handle (kestrel_reader_error,
 *    kestrel_writer_error): UTF-8 text, valid until the next call on that handle.
 *  - Handles are opaque, created and freed in pairs; freeing a null handle does nothing.
 *    Passing a null handle or a null required pointer gives KESTREL_E_INVALID.
 *  - Threading: different handles may be used from different threads at once; one handle
 *    must be used by one thread at a time. No call keeps global state; the host hooks
 *    above (message handler, drive table, kestrel_set_cancel) do not affect these calls.
 *  - Callbacks are called on the calling thread, during the call that was given them. */

#define KESTREL_VERSION_MAJOR 1
#define KESTREL_VERSION_MINOR 1
#define KESTREL_VERSION_PATCH 0
#define KESTREL_VERSION_STRING "1.1.0"
/* The run-time library's version as "major.minor.patch", to check against the macros. */
KESTREL_API const char* kestrel_version(void);

typedef enum kestrel_result {
  KESTREL_OK = 0,
  KESTREL_END = 1,               /* iteration: no more entries (not a failure) */
  KESTREL_E_INVALID = -1,        /* null or closed handle, bad argument, call out of order */
  KESTREL_E_IO = -2,             /* the operating system refused (message has its reason) */
  KESTREL_E_NOT_FOUND = -3,      /* no such file, or no such entry */
  KESTREL_E_NOT_ZIP = -4,        /* the file is not a zip archive */
  KESTREL_E_FORMAT = -5,         /* damaged archive or entry: bad data, CRC mismatch */
  KESTREL_E_UNSUPPORTED = -6,    /* compression method or feature Kestrel cannot read */
  KESTREL_E_PASSWORD = -7,       /* the entry is encrypted: no password, or a wrong one */
  KESTREL_E_UNSAFE = -8,         /* the name or link would leave the destination */
  KESTREL_E_EXISTS = -9,         /* the target exists and may not be replaced */
  KESTREL_E_CANCELLED = -10,     /* a progress callback asked to stop */
  KESTREL_E_CALLBACK = -11,      /* a read or write callback reported a failure */
  KESTREL_E_BUFFER = -12,        /* a caller's buffer is too small */
  KESTREL_E_NOMEM = -13,         /* out of memory */
  KESTREL_E_LIMIT = -14          /* beyond what the format or the library can describe */
} kestrel_result;

/* A short English text for a result code (never null; static storage). */
KESTREL_API const char* kestrel_result_text(int result);

/* Progress of one call: the entry being worked on (UTF-8), the bytes done and the total
 * for the whole call (0 when unknown). Return 0 to go on, non-zero to cancel the call,
 * which then returns KESTREL_E_CANCELLED. */
typedef int (*kestrel_progress_fn)(void* context, const char* entry_name, uint64_t bytes_done,
                                   uint64_t bytes_total);

/* Streaming callbacks. A read callback fills up to size bytes and returns how many it gave
 * (0 at the end) or -1 on failure; a seek callback moves to offset from whence (SEEK_SET,
 * SEEK_CUR, SEEK_END) and returns the new position or -1; a write callback takes all size
 * bytes and returns 0, or non-zero to stop the call with KESTREL_E_CALLBACK. */
typedef int64_t (*kestrel_read_fn)(void* context, void* buffer, size_t size);
typedef int64_t (*kestrel_seek_fn)(void* context, int64_t offset, int whence);
typedef int (*kestrel_write_fn)(void* context, const void* data, size_t size);

/* ---- Reading archives ------------------------------------------------------------------ */

/* ---- end of reading archives ----------------------------------------------------------- */


/* ---- Writing archives ------------------------------------------------------------------ */

/* ---- end of writing archives ----------------------------------------------------------- */
#endif

#ifdef __cplusplus
}
#endif

#endif /* KESTREL_H */
