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
#endif

#ifdef __cplusplus
}
#endif

#endif /* KESTREL_H */
