// list_format.cpp — method names, ratios and the lines of the listing table.
#include "cli/list_format.h"

#include <cinttypes>

namespace kestrel::cli {

std::string MethodName(uint16_t method, uint16_t flags) {
  switch (method) {
    case 0: return "Stored";
    case 1: return "Shrunk";
    case 2: case 3: case 4: case 5: return "Reduce" + std::to_string(method - 1);
    case 6: return "Implode";
    case 8: {
      static const char* const kinds[] = {"Defl:N", "Defl:X", "Defl:F", "Defl:S"};
      return kinds[(flags >> 1) & 3];
    }
    default: {
      char text[16];
      std::snprintf(text, sizeof text, "Unk:%03u", unsigned{method});
      return text;
    }
  }
}

int Ratio(uint64_t size, uint64_t packed) {
  if (size == 0) return 0;
  // Rounded twice, to tenths and then to whole percent, so the figures agree with the peer
  // listings people compare against.
  const int64_t total = static_cast<int64_t>(size);
  const int64_t saved = 1000 * (total - static_cast<int64_t>(packed));
  const int64_t permille = (saved + (saved < 0 ? -total / 2 : total / 2)) / total;
  return static_cast<int>((permille + (permille < 0 ? -5 : 5)) / 10);
}

void ListTable::ModeColumn(const char* text) {
  if (modes_) std::fprintf(out_, "%-10s ", text);
}

void ListTable::Header() {
  ModeColumn("Mode");
  std::fprintf(out_, " Length   Method    Size  Cmpr    Date    Time   CRC-32   Name\n");
  ModeColumn("----------");
  std::fprintf(out_, "--------  ------  ------- ---- ---------- ----- --------  ----\n");
}

void ListTable::Row(const ListRow& row) {
  ModeColumn(row.mode.c_str());
  const uint32_t date = row.dateTime >> 16, time = row.dateTime & 0xFFFF;
  std::fprintf(out_,
               "%8" PRIu64 "  %-7s%8" PRIu64 " %3d%% %04u-%02u-%02u %02u:%02u %08" PRIx32
               "  %s\n",
               row.size, MethodName(row.method, row.flags).c_str(), row.packed,
               Ratio(row.size, row.packed), 1980 + (date >> 9), (date >> 5) & 15, date & 31,
               time >> 11, (time >> 5) & 63, row.crc32, row.name.c_str());
  size_ += row.size;
  packed_ += row.packed;
  ++count_;
}

void ListTable::Totals() {
  ModeColumn("");
  std::fprintf(out_, "--------          -------  ---                            -------\n");
  ModeColumn("");
  std::fprintf(out_,
               "%8" PRIu64 "         %8" PRIu64 " %3d%%                            %" PRIu64
               " file%s\n",
               size_, packed_, Ratio(size_, packed_), count_, count_ == 1 ? "" : "s");
}

}  // namespace kestrel::cli
