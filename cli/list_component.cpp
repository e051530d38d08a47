// list_component.cpp — the component's listing of an archive (kestrel list --component).
#include "cli/list_component.h"

#include "archive/lyn_unzip.h"
#include "cli/list_format.h"
#include "classlib/exception.h"

namespace kestrel::cli {

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
    ListTable table(out);
    table.Header();
    for (int32_t i = 0; i < zip.Count(); ++i) {
      archive::TZipHeaderInfo& h = zip.Entry(i);
      ListRow row;
      row.size = h.uncompressedSize;
      row.packed = h.compressedSize;
      row.method = h.method;
      row.flags = h.flags;
      row.dateTime = h.dateTime;
      row.crc32 = h.crc32;
      row.name = ListedName(h.FullName(), HoldsStoredUtf8(h.nameProblem, h.flags), show);
      table.Row(row);
      std::string entryComment = zip.FileCommentOf(i);
      if (!entryComment.empty()) std::fprintf(out, "          %s\n", show(entryComment).c_str());
    }
    table.Totals();
    return 0;
  } catch (const classlib::Exception& e) {
    std::fprintf(err, "kestrel: %s: %s\n", show(drivePath).c_str(), show(e.Message()).c_str());
    return 1;
  }
}

}  // namespace kestrel::cli
