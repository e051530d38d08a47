// zip_run_state.h — the working state of one TLynZip::RunZip: the new archive's output and
// directory, the source file being read, the entry being written and the compressor. It lives
// from the start of a run to its end; its destructor closes whatever is still open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/end_central.h"
#include "archive/sorted_zip.h"
#include "archive/zip_header_info.h"
#include "classlib/file_stream.h"
#include "classlib/string_list.h"
#include "support/lfn_file_stream.h"
#include "writer/deflate.h"
#include "writer/lyn_zip.h"
#include "writer/parallel_packer.h"
#include "writer/volume_set.h"
#include "writer/zip64_records.h"

namespace kestrel::writer {

struct TLynZip::Run {
  // Where the output is written: ZipName itself, or a temporary file beside it that replaces
  // ZipName at the end (replacing is set then).
  std::string outputName;
  bool replacing = false;
  // An existing archive is being rewritten: its entries are carried over or replaced.
  bool updating = false;
  std::unique_ptr<support::TLFNFileStream> output;
  // Headers of the new archive: nameList (ByName, not owning) finds duplicate stored paths,
  // orderList (ByNone, owning) fixes the order of the central directory.
  std::unique_ptr<archive::TSortedZip> nameList;
  std::unique_ptr<archive::TSortedZip> orderList;
  // The same headers in the order their entries were written: the central directory's order.
  // (orderList sorts by the signed 32-bit offset, which no longer follows the data once an
  // archive passes 2 GiB, and not at all once offsets are zip64 markers.)
  std::vector<archive::TZipHeaderInfo*> written;
  std::unique_ptr<archive::TEndCentral> newEnd;
  std::unique_ptr<classlib::StringList> disposeList;
  std::unique_ptr<Deflater> deflater;

  // The entry being written and its source file, with its sizes and offset at full width;
  // localZip64 when its local header carries the zip64 field (sizes that may outgrow 32 bits).
  std::unique_ptr<archive::TZipHeaderInfo> header;
  archive::Zip64Values entry;
  bool localZip64 = false;
  // Read straight from the handle in large blocks: the compressor asks for 32 KB at a time.
  std::unique_ptr<classlib::Stream> input;
  // Stored entries and carried-over entries are copied through this buffer.
  static constexpr uint32_t kCopyBufferSize = 65536;
  std::unique_ptr<uint8_t[]> copyBuffer;
  uint8_t* CopyBuffer() {
    if (!copyBuffer) copyBuffer = std::make_unique<uint8_t[]>(kCopyBufferSize);
    return copyBuffer.get();
  }
  // Multi-volume modes: the volumes, and the per-entry temporary file that holds an entry's
  // data until it is copied into them.
  std::unique_ptr<VolumeSet> volumes;
  std::unique_ptr<support::TLFNFileStream> entryTemp;
  std::string entryTempName;
  // With a password: the CRC-32 of the source's pre-pass, which the encryption header's check
  // byte is made from.
  uint32_t prePassCrc = 0;
  uint32_t crc = 0xFFFFFFFFu;
  uint64_t bytesRead = 0;   // of the current file
  int64_t bytesOnVolume = 0;

  // With worker threads: the packer, and the file of the entry being written as a worker
  // packed it (null when the entry's data is read here).
  std::unique_ptr<ParallelPacker> packer;
  std::shared_ptr<PackedFile> packed;

  int32_t result = 0;        // files compressed in this run
  int32_t currentDisk = 0;
  archive::TZipSortMode savedSortMode = archive::ByNone;
  bool savedKeepZipOpen = false;
};

}  // namespace kestrel::writer
