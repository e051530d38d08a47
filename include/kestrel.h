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
 * packLevel (0 stores, 1-9 deflate). A null, empty or blank source is refused (-1) before
 * anything is touched. Names are stored relative to the source's directory;
 * subdirectories are descended into when the low byte of recurse is non-zero. If zipName
 * exists the user is asked whether to overwrite it. A zipName on drive A: is built on C:
 * and written across floppy disks as a volume set.
 * Result: the number of files packed, or -1 when the user declined to overwrite or the
 * archive could not be written (the old archive, if any, is then unchanged). With nothing
 * to pack the result is 0 and no archive is written. Sizes, offsets and entry counts past
 * the classic limits (4 GiB, 65,535 entries) are written with zip64 records. */
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

/* Removes the mapping of drive letter (a letter that is not mapped stays so). */
KESTREL_API void kestrel_unmap_drive(char letter);

/* Requests (1) or withdraws (0) the cancelling of the ZipFile or UnZipFile in progress, as
 * the Escape key does on Windows. A request made while no call runs cancels the next one;
 * once a call has acted on it the request is cleared. A cancelled ZipFile returns -1 with
 * "User Aborted Operation" in kestrel_last_error() (the old archive untouched, no partial one
 * left); a cancelled UnZipFile stops before its next entry and says "cancelled" there.
 * The entry-level interface's calls neither see nor clear it (their progress callbacks cancel
 * them). Safe to call from a signal handler or from another thread. */
KESTREL_API void kestrel_set_cancel(int cancel);

/* Sets the ANSI and OEM code pages used for names (both 936 by default; 65001 makes names
 * UTF-8). Archive names marked UTF-8 are converted to the ANSI code page when read; an entry
 * whose name has no form there is still created under its own name (through UTF-8). New
 * non-ASCII names are stored in code page 936 when that is the ANSI code page, else as UTF-8
 * marked as such; a found file whose name has no form in the ANSI code page is packed too,
 * its name stored as UTF-8 marked as such. Returns 1 when both can be
 * converted to and from UTF-8, 0 otherwise (nothing changes then). */
KESTREL_API int kestrel_set_code_pages(int ansi, int oem);

/* The message of the last failure that ZipFile or UnZipFile reported by its result, as
 * UTF-8 text; an empty string when the last call succeeded. Valid until the next call.
 * After a ZipFile that packed but passed files over it names them: "2 files were not packed:
 * C:\x\a (permission denied); C:\x\b (no such file)" (the first three, then a count);
 * after one that found nothing to pack (result 0, no archive written) it says so. A reason
 * from the operating system is given wherever there is one. */
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
 *    must be used by one thread at a time. No call keeps global state, and the host hooks
 *    above do not affect these calls: each maps native paths through a drive table of its
 *    own (C: is "/", A: the handle's floppy folder, see kestrel_reader_set_floppy_dir), which
 *    no drive mapped or remapped meanwhile, from any thread, changes; kestrel_set_cancel
 *    neither stops them nor is cleared by them (they cancel through their progress
 *    callbacks). Two exceptions remain, for floppy disks: a handle without a floppy folder
 *    still finds the floppy drive A: that kestrel_map_drive(..., removable = 1) set up when
 *    it opens a volume set or (with a disk callback) a spanned set lying there, or commits a
 *    spanned writer; and joining a volume set asks for its disks through the message handler.
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
  KESTREL_E_LIMIT = -14,        /* beyond what the format or the library can describe */
  KESTREL_E_OVERLAP = -15,       /* the entry's data overlaps another entry's (a zip bomb's
                                    building block): refused, the other entries go on */
  KESTREL_E_DAMAGED = -16        /* the central directory is damaged: entries after the damage
                                    are missing (kestrel_reader_directory_status) */
} kestrel_result;

/* A short English text for a result code (never null; static storage). */
KESTREL_API const char* kestrel_result_text(int result);

/* Progress of one call: the entry being worked on (UTF-8), the bytes done and the total
 * for the whole call (0 when unknown). Every call counts on its own: bytes_done starts from
 * 0 and bytes_total covers that call's work only, whatever calls came before. Return 0 to go
 * on, non-zero to cancel the call, which then returns KESTREL_E_CANCELLED; the cancel ends
 * that call only (the handle stays usable, and a later call runs in full). */
typedef int (*kestrel_progress_fn)(void* context, const char* entry_name, uint64_t bytes_done,
                                   uint64_t bytes_total);

/* Streaming callbacks. A read callback fills up to size bytes and returns how many it gave
 * (0 at the end) or -1 on failure; a seek callback moves to offset from whence (SEEK_SET,
 * SEEK_CUR, SEEK_END) and returns the new position or -1; a write callback takes all size
 * bytes and returns 0, or non-zero to stop the call with KESTREL_E_CALLBACK. */
typedef int64_t (*kestrel_read_fn)(void* context, void* buffer, size_t size);
typedef int64_t (*kestrel_seek_fn)(void* context, int64_t offset, int whence);
typedef int (*kestrel_write_fn)(void* context, const void* data, size_t size);

/* Asked for disk number disk (1, 2, ...) of an archive written across removable disks: make
 * that disk available at the archive's path, then return 0; non-zero cancels the call, which
 * returns KESTREL_E_CANCELLED. */
typedef int (*kestrel_disk_fn)(void* context, int disk);

/* ---- Reading archives ------------------------------------------------------------------ */

/* A reader: one archive opened for listing, testing and extracting. Create it with
 * kestrel_reader_new, set the options that apply to opening (code page) and to the later
 * calls (password, progress), open it once, use it, and free it with kestrel_reader_close.
 * Everything a reader returns (names, comments, messages) is owned by it. Extraction runs
 * through the library's extraction engine: every method it reads (stored, shrunk, reduced,
 * imploded, deflated), traditional zip encryption, and its safety rules; sizes and offsets
 * beyond 4 GiB (zip64) and archives behind other data (a script, a stub) are read. */
typedef struct kestrel_reader kestrel_reader;

/* One entry of the central directory. The strings are owned by the reader and stay valid
 * until it is closed. */
typedef struct kestrel_entry {
  uint64_t index;             /* 0-based position in the central directory */
  const char* name;           /* UTF-8, '/' separators; a directory's name ends in '/' */
  const char* comment;        /* UTF-8; "" when there is none */
  uint64_t compressed_size;   /* bytes stored, the encryption header included */
  uint64_t uncompressed_size;
  uint32_t crc32;
  uint16_t method;            /* 0 stored, 1 shrunk, 2-5 reduced, 6 imploded, 8 deflated, ... */
  uint16_t flags;             /* the general-purpose bit flag as stored */
  int64_t mtime;              /* Unix seconds: the extended timestamp's (0x5455) when the
                                 entry has one, else the DOS time read as local time (2 s
                                 steps) */
  uint32_t dos_attributes;    /* read-only 0x01, hidden 0x02, system 0x04, directory 0x10,
                                 archive 0x20; 0 when the entry was not made on MS-DOS */
  uint32_t unix_mode;         /* st_mode (type and permissions); 0 when not made on Unix */
  int encrypted;              /* non-zero: a password is needed */
  int is_directory;
  int is_symlink;             /* Unix-made symbolic link: extract_all creates it as a link
                                 (see there); the other extract calls give its target as
                                 the data */
} kestrel_entry;

/* A new, unopened reader; NULL when memory runs out. Free it with kestrel_reader_close. */
KESTREL_API kestrel_reader* kestrel_reader_new(void);

/* Closes the archive (if open) and frees the reader and everything it returned. NULL does
 * nothing. The handle must not be used afterwards. */
KESTREL_API void kestrel_reader_close(kestrel_reader* reader);

/* The message of the reader's last failure (UTF-8, never NULL; "" after a success), valid
 * until the next call on the reader. For a NULL reader, a fixed text. */
KESTREL_API const char* kestrel_reader_error(const kestrel_reader* reader);

/* Code page of entry names that are not marked UTF-8 (default 0: the library's ANSI code
 * page, 936). Set it before opening. KESTREL_E_INVALID for a code page the system cannot
 * convert, or after opening. */
KESTREL_API int kestrel_reader_set_code_page(kestrel_reader* reader, int code_page);

/* Password for enciphered entries in later calls (the reader keeps a copy; NULL forgets it).
 * Without one, an enciphered entry fails with KESTREL_E_PASSWORD ("password needed"); with a
 * wrong one it fails with KESTREL_E_PASSWORD ("incorrect password"). */
KESTREL_API int kestrel_reader_set_password(kestrel_reader* reader, const char* password);

/* Entries made on Unix, in the later extract calls: keep != 0 restores their setuid, setgid
 * and sticky bits too; by default (0) those are dropped. The umask applies either way. */
KESTREL_API int kestrel_reader_set_special_modes(kestrel_reader* reader, int keep);

/* Progress callback for the later extract and test calls (NULL: none). It stays set, but
 * reports on each call by itself: bytes_total is the uncompressed size of what that call
 * decodes (one entry, or every entry extract_all selected) and bytes_done counts from 0. It
 * is called on the calling thread as the data of each entry is decoded; a non-zero answer
 * cancels that call (KESTREL_E_CANCELLED), leaving no partly written file behind. Set before
 * opening, it is also called while kestrel_reader_open reads the directory through the
 * archive engine (KESTREL_DIRECTORY_COMPONENT or _REPAIR: scanning a large file takes long),
 * with "" as the name and totals of 0; a non-zero answer cancels the opening. */
KESTREL_API int kestrel_reader_set_progress(kestrel_reader* reader, kestrel_progress_fn progress,
                                            void* context);

/* Where kestrel_reader_open takes the entries from. */
typedef enum kestrel_directory_source {
  KESTREL_DIRECTORY_WALKER = 0,    /* the central directory, read by the extraction engine */
  KESTREL_DIRECTORY_COMPONENT = 1, /* the central directory, read by the archive engine that
                                      writes archives (a second reading, to compare) */
  KESTREL_DIRECTORY_REPAIR = 2     /* the archive engine's repair scan: the local headers found
                                      in the file, completed by the central records it can
                                      read; the way to the entries of a damaged directory */
} kestrel_directory_source;
/* Sets the kestrel_directory_source before opening (KESTREL_E_INVALID after it, or for an
 * unknown value). Extraction always runs through the extraction engine. */
KESTREL_API int kestrel_reader_set_directory_source(kestrel_reader* reader, int source);

/* Spanned archives (kestrel zip --span, kestrel_writer_set_span): with a disk callback set
 * before opening, kestrel_reader_open reads an archive whose file holds only one disk of such
 * a set. Given the first disk (no end record), it asks for disks 2, 3, ... until the disk
 * holding the end record; given the last disk, it asks for disks 1 to the last. Each disk's
 * file is read at the path given to kestrel_reader_open, after the callback changed the disk
 * (on an emulated floppy, kestrel_reader_set_floppy_dir, a disk whose label says it is
 * another disk of the set is refused). The disks are joined into a temporary file, removed
 * when the reader is closed. NULL removes the callback: the last disk alone then opens with
 * KESTREL_E_UNSUPPORTED. */
KESTREL_API int kestrel_reader_set_disk_callback(kestrel_reader* reader, kestrel_disk_fn disk,
                                                 void* context);
/* Threads for the later kestrel_reader_extract_all calls: 1 (the default) extracts on the
 * calling thread alone; n > 1 decodes and writes entries on n worker threads; 0 takes one per
 * processor. The outcome is the one-thread outcome: the same files, results, messages and
 * order of the callbacks, which all still run on the calling thread (progress is told at
 * least every 100 ms while workers run). Where entries could meet (the same name in any
 * case, a file where another makes a directory, a question about an existing file, a link)
 * they run in entry order; an existing file is replaced only in its entry's turn; when a
 * damaged entry or a cancel ends the call, entries that workers finished beyond it are
 * removed again (files they would replace kept as they were). KESTREL_E_INVALID for n < 0
 * or n > 256. */
KESTREL_API int kestrel_reader_set_threads(kestrel_reader* reader, int threads);

/* Drive A: while this reader opens: the folder dir (native path) acts as an emulated 1.44 MB
 * floppy disk in drive A: (its volume label kept in the file dir.label beside it), so that an
 * archive in it that is one disk of a spanned set, or the first volume of a volume set, is read
 * as from a floppy. To change the disk, call this again with the folder that holds the disk
 * asked for, also from within the disk callback or the message handler. No other handle and
 * none of the four functions sees this drive. NULL or "" removes it. KESTREL_E_NOT_FOUND
 * (nothing changed) when dir is not a directory. */
KESTREL_API int kestrel_reader_set_floppy_dir(kestrel_reader* reader, const char* dir);

/* Opens the archive at path and reads its central directory. A block set that kestrel zip
 * --split wrote (x.001, x.002, ... and no x.zip) opens by the name x.zip or x.001: the blocks
 * are joined into a temporary file, removed when the reader is closed. A volume set on the
 * emulated floppy drive A: is joined the same way. KESTREL_E_NOT_FOUND when path
 * does not exist, KESTREL_E_NOT_ZIP when it is not a zip archive, KESTREL_E_FORMAT when it
 * starts like one but its directory is missing or broken at the first record, KESTREL_E_IO
 * when a volume set cannot be joined, KESTREL_E_INVALID when the reader is already open,
 * KESTREL_E_CANCELLED when the disk or progress callback cancelled. A directory that is
 * damaged after some entries still opens (KESTREL_OK) with the entries before the damage: see
 * kestrel_reader_directory_status. The file is read again by the extract and test calls: keep
 * it in place until the reader is closed. */
KESTREL_API int kestrel_reader_open(kestrel_reader* reader, const char* path);

/* Opens an archive that the caller's callbacks deliver: read from the start until read gives
 * 0, and copied into a temporary file that the reader removes when it is closed (so memory
 * stays bounded whatever the size). seek may be NULL; when given, the reader first seeks to
 * the start. A callback failure gives KESTREL_E_CALLBACK. The callbacks are not used after
 * this call returns. */
KESTREL_API int kestrel_reader_open_callbacks(kestrel_reader* reader, kestrel_read_fn read,
                                              kestrel_seek_fn seek, void* context);

/* What opening found of the directory. */
typedef struct kestrel_directory_status {
  uint64_t entries_declared; /* entries the end record declares (REPAIR: the entries found) */
  uint64_t entries_read;     /* entries the reader holds */
  int damaged;               /* non-zero: the directory ends before the entries it declares;
                                the entries after the damage are missing */
  int repaired;              /* non-zero: the repair scan had to rebuild the directory */
} kestrel_directory_status;
/* Fills *status for the open archive. extract_all reports a damage as KESTREL_E_DAMAGED with
 * the message "central directory damaged after entry N of M" (N read, M declared). */
KESTREL_API int kestrel_reader_directory_status(kestrel_reader* reader,
                                                kestrel_directory_status* status);

/* The archive's comment (UTF-8, "" when none) in *comment, owned by the reader. */
KESTREL_API int kestrel_reader_comment(kestrel_reader* reader, const char** comment);

/* The number of entries in *count. */
KESTREL_API int kestrel_reader_count(kestrel_reader* reader, uint64_t* count);

/* Fills *entry with the entry at index; KESTREL_E_NOT_FOUND past the last one. */
KESTREL_API int kestrel_reader_entry(kestrel_reader* reader, uint64_t index,
                                     kestrel_entry* entry);

/* Iteration: fills *entry with the next entry (the first after opening or rewinding) and
 * returns KESTREL_OK, or KESTREL_END when there is none left. */
KESTREL_API int kestrel_reader_next(kestrel_reader* reader, kestrel_entry* entry);
KESTREL_API int kestrel_reader_rewind(kestrel_reader* reader);

/* Fills *entry with the first entry named name (UTF-8, '/'); KESTREL_E_NOT_FOUND if none. */
KESTREL_API int kestrel_reader_find(kestrel_reader* reader, const char* name,
                                    kestrel_entry* entry);

/* Extracts the entry at index into the file path (a native path; its directories are
 * created). A directory entry creates the directory. An existing file is replaced, but only
 * by data that checked out: on any failure it stays as it was, and a new file is removed.
 * The time and attributes are restored: for an entry made on Unix its permission bits
 * (masked by the umask; setuid, setgid and sticky as kestrel_reader_set_special_modes says),
 * and the exact time of its
 * extended timestamp when it has one. A link entry gives a file holding its target. Failures: KESTREL_E_FORMAT (damaged data or CRC
 * mismatch), KESTREL_E_UNSUPPORTED, KESTREL_E_PASSWORD, KESTREL_E_IO (with the path),
 * KESTREL_E_CANCELLED, KESTREL_E_OVERLAP (the entry's data overlaps that of an entry before it
 * in the directory; the same for the descriptor, callback and test calls). */
KESTREL_API int kestrel_reader_extract_to_path(kestrel_reader* reader, uint64_t index,
                                               const char* path);

/* Writes the entry's data to the open file descriptor fd, from its current position. The
 * descriptor stays open. Data is written as it is decoded: after a failure the descriptor
 * may already hold part of it (the result says so; check it before using the data). */
KESTREL_API int kestrel_reader_extract_to_fd(kestrel_reader* reader, uint64_t index, int fd);

/* Hands the entry's data to write in pieces of at most 64 KiB, in order, memory bounded
 * whatever the entry's size. The same caution as for a descriptor: only KESTREL_OK at the
 * end says all of it arrived and its CRC matched. A write callback's failure stops the call
 * with KESTREL_E_CALLBACK. */
KESTREL_API int kestrel_reader_extract_to_callback(kestrel_reader* reader, uint64_t index,
                                                   kestrel_write_fn write, void* context);

/* Decodes the entry and checks its CRC without writing anything. */
KESTREL_API int kestrel_reader_test(kestrel_reader* reader, uint64_t index);

/* What extract_all does when a file to be written exists already. */
typedef enum kestrel_overwrite {
  KESTREL_OVERWRITE_NEVER = 0,  /* keep it; the entry's result is KESTREL_E_EXISTS */
  KESTREL_OVERWRITE_ALWAYS = 1, /* replace it (only by data that checked out) */
  KESTREL_OVERWRITE_ASK = 2     /* ask the options' ask callback, file by file */
} kestrel_overwrite;

/* Answers of the ask callback. */
typedef enum kestrel_answer {
  KESTREL_ANSWER_NO = 0,    /* keep this file */
  KESTREL_ANSWER_YES = 1,   /* replace this file */
  KESTREL_ANSWER_NONE = 2,  /* keep this one and every later one without asking */
  KESTREL_ANSWER_ALL = 3,   /* replace this one and every later one without asking */
  KESTREL_ANSWER_RENAME = 4 /* write to the native path the callback put in new_path */
} kestrel_answer;

/* Asked before an existing file is replaced: entry name (UTF-8) and the native path.
 * Returns a kestrel_answer; for KESTREL_ANSWER_RENAME it writes a zero-terminated native
 * path of at most new_path_size bytes (terminator included) into new_path. Any other value
 * is taken as KESTREL_ANSWER_NO. */
typedef int (*kestrel_ask_fn)(void* context, const char* entry_name, const char* path,
                              char* new_path, size_t new_path_size);

/* Told after each selected entry: its result (KESTREL_OK or a failure code), the message
 * explaining a failure (UTF-8, "" on success), and the native path written ("" for test or
 * when nothing was written). The pointers are valid during the call only. */
typedef void (*kestrel_entry_done_fn)(void* context, const kestrel_entry* entry, int result,
                                      const char* message, const char* path);

/* Options of kestrel_reader_extract_all; zero-initialised options are the defaults. */
typedef struct kestrel_extract_options {
  int overwrite;                   /* a kestrel_overwrite; 0: never */
  kestrel_ask_fn ask;              /* for KESTREL_OVERWRITE_ASK (without it: never) */
  void* ask_context;
  int junk_paths;                  /* non-zero: every file goes to the directory itself */
  int test_only;                   /* non-zero: test the selected entries, write nothing */
  const char* const* include;      /* patterns ('*', '?', [set]; '*' crosses '/'); none:
                                      every entry. A pattern without wildcards is a name. */
  size_t include_count;
  const char* const* exclude;      /* entries matching one of these are left out */
  size_t exclude_count;
  kestrel_entry_done_fn entry_done;
  void* entry_context;
} kestrel_extract_options;

/* Extracts (or tests) the selected entries into the native directory dir, created if
 * missing (dir is ignored when testing; NULL means "."). Entry names that would leave dir
 * (absolute, "..", drive letters) are refused per entry with KESTREL_E_UNSAFE; the others
 * go on. Entries made on Unix get their permission bits (masked by the umask; setuid,
 * setgid and sticky as kestrel_reader_set_special_modes says) and directory entries make
 * directories, empty ones included;
 * times come from the extended timestamp when there is one, and directories get theirs
 * after their contents. A link entry becomes a symbolic link only when its target is
 * relative and stays inside dir, otherwise KESTREL_E_UNSAFE; nothing is ever written through
 * a symbolic link, whether an earlier entry made it or it was there before (that entry:
 * KESTREL_E_UNSAFE); entries for devices, FIFOs and sockets create nothing
 * (KESTREL_E_UNSUPPORTED). A file that the ask callback renamed is written as
 * extract_to_path writes it. options may be NULL. Returns KESTREL_OK when every selected entry succeeded;
 * KESTREL_E_NOT_FOUND when patterns were given and no entry matched; KESTREL_E_CANCELLED
 * when the progress callback cancelled; otherwise the first entry failure's code, with a
 * message counting the failed entries; KESTREL_E_DAMAGED when every entry held succeeded but
 * the directory is damaged (entries are missing). A damaged entry's data ends the walk at
 * that entry. */
KESTREL_API int kestrel_reader_extract_all(kestrel_reader* reader, const char* dir,
                                           const kestrel_extract_options* options);

/* True when name (UTF-8, '/') matches pattern as kestrel_extract_options reads it. */
KESTREL_API int kestrel_pattern_match(const char* pattern, const char* name);

/* ---- end of reading archives ----------------------------------------------------------- */


/* ---- Writing archives ------------------------------------------------------------------ */

/* A writer collects what a new or updated archive should hold (files and trees, data from
 * memory or a callback, entries to delete, comments, settings) and builds it in one
 * kestrel_writer_commit. Nothing touches the archive before the commit; the commit builds the
 * new archive beside the old one and replaces it only once the new one is complete, so the
 * path always holds either the old archive or the complete new one. Closing a writer without
 * a commit leaves the old archive untouched and nothing behind.
 * Entry names are stored in the library's ANSI code page (936 by default); a name that has no
 * form in it is refused when it is given. */
typedef struct kestrel_writer kestrel_writer;

typedef enum kestrel_write_mode {
  KESTREL_WRITE_CREATE = 0,   /* a new archive; KESTREL_E_EXISTS when the path exists */
  KESTREL_WRITE_UPDATE = 1,   /* update the archive at path, or create it when it is missing */
  KESTREL_WRITE_OVERWRITE = 2 /* a new archive that replaces whatever is at path on commit */
} kestrel_write_mode;

/* Opens a writer for the archive at path (native path) in the given kestrel_write_mode and
 * stores the new handle in *writer (NULL on failure). Only checks are made here: the archive's
 * directory must exist, and under UPDATE an existing file must be a zip archive
 * (KESTREL_E_NOT_ZIP otherwise). The message of a failed open is given by
 * kestrel_writer_error(NULL) on the same thread. Free the handle with kestrel_writer_close. */
KESTREL_API int kestrel_writer_open(const char* path, int mode, kestrel_writer** writer);

/* Frees the writer and its temporary files; without a commit the archive stays as it was.
 * A null handle is ignored. The handle must not be used afterwards (a call on it gives
 * KESTREL_E_INVALID as long as the memory has not been handed out again). */
KESTREL_API void kestrel_writer_close(kestrel_writer* writer);

/* The message of the last failure on writer (UTF-8, "" after a success), valid until the next
 * call on it. With a null or closed handle: the message of the last failed
 * kestrel_writer_open on this thread. Never returns null. */
KESTREL_API const char* kestrel_writer_error(const kestrel_writer* writer);

/* Compression level: 0 stores, 1-9 deflate (6 unless set). KESTREL_E_INVALID outside 0-9. */
KESTREL_API int kestrel_writer_set_level(kestrel_writer* writer, int level);

/* How many threads read and compress files at the commit. 1 (the default) does all the work
 * on the calling thread; n > 1 starts n worker threads for the commit, which read and
 * compress files ahead while the calling thread writes them in order; 0 means one per core.
 * The archive is the same byte for byte whatever the count (the random bytes of encryption
 * headers aside, which differ on every run). The callbacks (progress, entry done, next disk)
 * are still called on the calling thread only. Compressed data waiting to be written is held
 * in memory up to 8 MB per worker and goes to an unnamed temporary file in the archive's
 * directory beyond that (in the temporary directory for block files). A spanned archive is
 * packed on the calling thread. KESTREL_E_INVALID outside 0-256. */
KESTREL_API int kestrel_writer_set_threads(kestrel_writer* writer, int threads);

/* Encrypts every entry added by this writer with the traditional zip cipher and password
 * (bytes as given). NULL or "" adds entries without encryption. The writer keeps a copy. */
KESTREL_API int kestrel_writer_set_password(kestrel_writer* writer, const char* password);

/* The legacy code page non-ASCII entry names are stored in, for tools that do not read UTF-8
 * (936 for old Chinese Windows tools); a name it cannot hold is still stored as UTF-8 and
 * marked so. 0 or 65001 (the default): every non-ASCII name as UTF-8, marked so. A code page
 * that cannot be converted gives KESTREL_E_UNSUPPORTED. */
KESTREL_API int kestrel_writer_set_code_page(kestrel_writer* writer, int code_page);

/* Symbolic links met by kestrel_writer_add_path: store != 0 stores each as a link (its
 * mode, with the target as the entry's data), 0 (the default) follows it and stores what it
 * leads to. A link to a directory that is stored anyway (a loop back into the tree, or a
 * second way to a directory already stored) is not followed: it is passed over and listed
 * by kestrel_writer_skipped. Every entry records its file's Unix mode and exact
 * modification time beside the DOS fields. */
KESTREL_API int kestrel_writer_set_symlinks(kestrel_writer* writer, int store);

/* The archive comment (UTF-8; at most 65,535 bytes once converted). "" removes it; without
 * this call an updated archive keeps its comment. */
KESTREL_API int kestrel_writer_set_comment(kestrel_writer* writer, const char* comment);

/* The comment of the entry called name (UTF-8, '/' separators): an entry added by this writer
 * or one already in the archive. An entry that does not exist at the commit is ignored. */
KESTREL_API int kestrel_writer_set_entry_comment(kestrel_writer* writer, const char* name,
                                                 const char* comment);

/* What happens to files whose stored name is already in an updated archive. */
typedef enum kestrel_update_mode {
  KESTREL_UPDATE_NEWER = 0,   /* default: add new files, replace entries whose file is newer */
  KESTREL_UPDATE_ALWAYS = 1,  /* add new files, replace every matching entry */
  KESTREL_UPDATE_FRESHEN = 2  /* add nothing new; replace entries whose file is newer */
} kestrel_update_mode;
/* Entries not matched by any added file are always kept byte for byte. */
KESTREL_API int kestrel_writer_set_update_mode(kestrel_writer* writer, int mode);

/* How kestrel_writer_add_path gathers files. A null options pointer means all zero. */
typedef struct kestrel_add_options {
  int recurse;          /* descend into the subdirectories of a directory */
  int junk_paths;       /* store file names only, without their directories */
  int no_dir_entries;   /* store no entries for the directories themselves */
  const char* base_dir; /* names are stored relative to this directory (native path);
                           NULL: relative to the current directory, as given */
  const char* const* include; /* NULL-terminated patterns; only matching names are added */
  const char* const* exclude; /* NULL-terminated patterns; matching names are never added */
} kestrel_add_options;
/* Patterns match the stored name ('/' separators): '*' matches any run of characters, '/'
 * included, '?' one character, and letters match in either case: "*.o" names every object
 * file, "src/tmp/" followed by "*" everything below src/tmp.
 * A path outside base_dir keeps its whole directory, without the leading '/'. */

/* Adds the file or directory at path (native). A directory gives its own entry and, with
 * recurse, everything below it; without recurse only its entry. Nothing is read until the
 * commit. KESTREL_E_NOT_FOUND when path does not exist, KESTREL_E_INVALID when a name in it
 * has no form in the code page. The writer copies path, options and the patterns. */
KESTREL_API int kestrel_writer_add_path(kestrel_writer* writer, const char* path,
                                        const kestrel_add_options* options);

/* Adds size bytes at data under the entry name (UTF-8, '/' separators; a name ending in '/'
 * with size 0 is a directory entry). The data is copied at once into a temporary file of the
 * writer, so the caller's buffer may be freed on return. An entry of the same name already in
 * the archive is replaced; the entry's time is the time of this call.
 * KESTREL_E_UNSAFE for an absolute name or one with a ".." component. */
KESTREL_API int kestrel_writer_add_memory(kestrel_writer* writer, const char* name,
                                          const void* data, size_t size);

/* Like kestrel_writer_add_memory, with the data read through read(context, ...) until it
 * returns 0, during this call (memory stays bounded). A read that returns -1 gives
 * KESTREL_E_CALLBACK and adds nothing. */
KESTREL_API int kestrel_writer_add_stream(kestrel_writer* writer, const char* name,
                                          kestrel_read_fn read, void* context);

/* Deletes the entries of the archive whose names match pattern (the patterns of
 * kestrel_add_options) at the commit. Entries added by the same commit are not deleted. */
KESTREL_API int kestrel_writer_delete(kestrel_writer* writer, const char* pattern);

/* Multi-volume output (a fresh archive written in one pass: KESTREL_E_INVALID at the commit
 * under KESTREL_WRITE_UPDATE or with entries from memory). block_size > 0: block files of
 * block_size bytes named after path with its extension replaced by .001, .002, ...; an archive
 * that fits in one block is written as path itself. 0 turns it off. A block too small for the
 * archive's records fails at the commit with KESTREL_E_INVALID. */
KESTREL_API int kestrel_writer_set_split(kestrel_writer* writer, uint32_t block_size);

/* Drive A: for this writer's commits, given as kestrel_reader_set_floppy_dir gives it to a
 * reader. NULL or "" removes it; KESTREL_E_NOT_FOUND when dir is not a directory. */
KESTREL_API int kestrel_writer_set_floppy_dir(kestrel_writer* writer, const char* dir);

/* Spanning: the archive is written across removable disks: its path must lie in the writer's
 * floppy folder (kestrel_writer_set_floppy_dir; without one, on the floppy drive A: that
 * kestrel_map_drive(..., removable = 1) set up). next_disk is asked for each new disk (2, 3,
 * ...) when the one in the drive is full; it changes the disk by giving the writer the next
 * disk's folder (or by refilling the folder). A null next_disk turns spanning off. */
KESTREL_API int kestrel_writer_set_span(kestrel_writer* writer, kestrel_disk_fn next_disk,
                                        void* context);

/* Reported once for each entry the commit compressed into the archive. */
typedef struct kestrel_entry_done {
  const char* name;         /* stored name, UTF-8, '/' separators */
  uint64_t size;            /* uncompressed bytes */
  uint64_t compressed_size; /* bytes in the archive, the encryption header included */
  int method;               /* 0 stored, 8 deflated */
  int replaced;             /* 1 when it replaced an entry of the same name */
} kestrel_entry_done;
typedef void (*kestrel_entry_fn)(void* context, const kestrel_entry_done* entry);
/* Installs a per-entry report for the next commits (NULL removes it). */
KESTREL_API int kestrel_writer_set_entry_callback(kestrel_writer* writer, kestrel_entry_fn fn,
                                                  void* context);

/* Reported once for each entry of the old archive the commit leaves out (a deletion): its
 * stored name, UTF-8 with '/' separators, valid during the call. */
typedef void (*kestrel_deleted_fn)(void* context, const char* name);
/* Installs a per-deletion report for the next commits (NULL removes it). */
KESTREL_API int kestrel_writer_set_delete_callback(kestrel_writer* writer, kestrel_deleted_fn fn,
                                                   void* context);

/* Builds the archive: gathers the added paths, carries over the old entries (those not
 * replaced or deleted) byte for byte, compresses the new ones, and puts the complete archive
 * in place. progress (may be NULL) is called as data is read, and while the added trees are
 * walked (with "" as the name and a total of 0), for this commit alone (bytes of the files it
 * packs; with several added paths the total grows as each is gathered); a non-zero answer
 * cancels this commit, and the writer can be given new work and committed again.
 * Files that cannot be read are passed over and listed (kestrel_writer_skipped); they do not
 * make the commit fail. On any failure the archive at path is as it was before and no
 * temporary file is left. KESTREL_E_NOT_FOUND (nothing written) when paths were added or
 * deletions asked for, but no file was found to store and no entry to delete, and nothing
 * else was asked for. After a commit
 * (successful or not) the writer's list of additions and deletions is empty again; settings
 * stay. May block for a long time; runs on the calling thread. */
KESTREL_API int kestrel_writer_commit(kestrel_writer* writer, kestrel_progress_fn progress,
                                      void* context);

/* Counts of the last commit. */
typedef struct kestrel_commit_stats {
  uint64_t added;    /* new entries compressed */
  uint64_t replaced; /* entries replaced by newer files or data */
  uint64_t kept;     /* entries carried over unchanged */
  uint64_t deleted;  /* entries deleted */
  uint64_t skipped;  /* files passed over (kestrel_writer_skipped) */
} kestrel_commit_stats;
KESTREL_API int kestrel_writer_stats(const kestrel_writer* writer, kestrel_commit_stats* stats);

/* The files the last commit passed over: index from 0 to stats.skipped - 1; *path (native)
 * and *reason (English) stay valid until the next commit or close. KESTREL_E_INVALID for an
 * index out of range. */
KESTREL_API int kestrel_writer_skipped(const kestrel_writer* writer, size_t index,
                                       const char** path, const char** reason);

/* ---- end of writing archives ----------------------------------------------------------- */
#endif

#ifdef __cplusplus
}
#endif

#endif /* KESTREL_H */
