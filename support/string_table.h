// string_table.h — the component's English message texts, string ids 176 to 207. The texts
// are fixed byte for byte; a message with %d or %s is completed with classlib::Format.
#pragma once

namespace kestrel::support {

enum StringId : int {
  // Buffered stream
  sSeekError = 176,          // " Seek error"
  sInvalidSeekOrigin,        // "Invalid seek origin (%d)"
  sPutbackOverflow,          // "Putback overflow"
  // File helpers: the copy-failure message box
  sCouldNotCopyFrom,         // "Could not copy from "
  sCopyArrow,                // " -> "
  sErrorCaption,             // "Error"
  // Object lists
  sListIndexOutOfBounds,     // "List index out of bounds (%d)"
  sObjectNotInList,          // "tObject %s not in item list"
  sDuplicateObjectIndex,     // "Duplicate Object index"
  sCannotPutInSortedList,    // "Cannot <Put> an Object in a sorted list!"
  sClassNotRegistered,       // "Class <%s> not registered"
  sSourceClassNotRegistered, // "Source Class <%s> not registered"
  sNilSourceClass,           // "Nil Source Class!"
  // Archive component base
  sUserCanceledZipName,      // "User canceled setting zip file name."
  sUserCanceledDestDir,      // "User canceled Set Desination Directory"
  sUserCanceledNewDisk,      // "User canceled loading new disk."
  sUserAborted,              // "User Aborted Operation"
  sIncompleteZip,            // "Incomplete Zip File"
  sNotAValidZip,             // "Not a valid zip file!"
  sIndexOutOfRange,          // "Index %d is out of range"
  sInsertDisk,               // "Please insert disk "
  sOfMultiDiskSet,           // " of the multi-disk set."
  sOpenZipTitle,             // "Open a Zip File"
  sOpenZipFilter,            // "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|…"
  // Zip operation and multi-volume archives
  sUserCanceledZip,          // "User canceled Zip operation"
  sNotEnoughRoom,            // "Not enough room to write archive"
  sCannotCreateConfig,       // "Unable to create Zip Configuration File to disk"
  sCannotSaveConfig,         // "Unable to save Zip Configuration File to disk"
  sLastStringId = 207,       // ids up to here are reserved for the component
};

// The text of id; the empty string for an id without one.
const char* LoadStr(int id);

}  // namespace kestrel::support
