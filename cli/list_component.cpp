// list_component.cpp — the component's listing of an archive (kestrel list --component).
#include "cli/list_component.h"

#include <cinttypes>

#include "archive/lyn_unzip.h"
#include "classlib/exception.h"

namespace kestrel::cli {

namespace {

std::string MethodName(const archive::TZipHeaderInfo& h) {
  switch (h.method) {
    case 0: return "Stored";
    case 1: return "Shrunk";
    case 2: case 3: case 4: case 5: return "Reduce" + std::to_string(h.method - 1);
    case 6: return "Implode";
    case 8: {
      static const char* kinds[] = {"Defl:N", "Defl:X", "Defl:F", "Defl:S"};
      return kinds[(h.flags >> 1) & 3];
    }
    default: return "Unk:" + std::to_string(h.method);
  }
}

int Ratio(uint64_t size, uint64_t compressed) {
  if (size == 0) return 0;
  return static_cast<int>((100 * (size - (compressed > size ? size : compressed)) + size / 2) /
                          size);
}

}  // namespace

int ListWithComponent(const std::string& drivePath, bool repair, const TextForTerminal& show,
                      FILE* out, FILE* err) {
  archive::TLynUnZip zip;
  if (repair) zip.SetIncompleteZipMode(archive::izAssumeBad);
  // Listing never waits for another disk: a missing one ends the listing with a message.
  zip.OnGetNextDisk = [&](classlib::Object* sender, int32_t disk, std::string& name) {
    if (zip.MultiMode() == archive::mmSpan) {
      name.clear();
    } else {
      zip.DefaultGetNextDisk(sender, disk, name);
    }
  };
  try {
    zip.SetZipName(drivePath);
    zip.OpenZip();
    std::string comment = zip.ZipComment();
    std::fprintf(out, "Archive:  %s\n", show(drivePath).c_str());
    if (!comment.empty()) std::fprintf(out, "%s\n", show(comment).c_str());
    if (zip.Repaired()) std::fprintf(out, "(directory rebuilt from the local headers)\n");
    std::fprintf(out,
                 " Length   Method    Size  Cmpr    Date    Time   CRC-32   Name\n"
                 "--------  ------  ------- ---- ---------- ----- --------  ----\n");
    uint64_t total = 0, packed = 0;
    for (int32_t i = 0; i < zip.Count(); ++i) {
      archive::TZipHeaderInfo& h = zip.Entry(i);
      uint32_t date = h.dateTime >> 16, time = h.dateTime & 0xFFFF;
      std::string name = h.FullName();
      for (char& c : name) {
        if (c == '\\') c = '/';
      }
      std::fprintf(out, "%8" PRIu32 "  %-7s%8" PRIu32 " %3d%% %04u-%02u-%02u %02u:%02u %08" PRIx32
                        "  %s\n",
                   h.uncompressedSize, MethodName(h).c_str(), h.compressedSize,
                   Ratio(h.uncompressedSize, h.compressedSize), 1980 + (date >> 9),
                   (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, h.crc32,
                   show(name).c_str());
      std::string entryComment = zip.FileCommentOf(i);
      if (!entryComment.empty()) std::fprintf(out, "          %s\n", show(entryComment).c_str());
      total += h.uncompressedSize;
      packed += h.compressedSize;
    }
    std::fprintf(out,
                 "--------          -------  ---                            -------\n"
                 "%8" PRIu64 "         %8" PRIu64 " %3d%%                            %d file%s\n",
                 total, packed, Ratio(total, packed), zip.Count(), zip.Count() == 1 ? "" : "s");
    return 0;
  } catch (const classlib::Exception& e) {
    std::fprintf(err, "kestrel: %s: %s\n", show(drivePath).c_str(), show(e.Message()).c_str());
    return 1;
  }
}

}  // namespace kestrel::cli
