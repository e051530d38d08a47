// list_format.h — the table of `kestrel list`, laid out as `unzip -lv` prints it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kestrel::cli {

// "Stored", "Shrunk", "Reduce1".."Reduce4", "Implode", "Defl:N/X/F/S" (from the deflate
// option bits 1-2) or "Unk:NNN".
std::string MethodName(uint16_t method, uint16_t flags);

// Space saved in percent, rounded half away from zero; negative when the entry grew.
int Ratio(uint64_t size, uint64_t packed);

struct ListRow {
  uint64_t size = 0;
  uint64_t packed = 0;
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t dateTime = 0;  // DOS date in the high 16 bits, time in the low 16
  uint32_t crc32 = 0;
  std::string name;  // as the terminal shows it
  std::string mode;  // the mode column's text, when the table has one
};

class ListTable {
 public:
  // modes: the table starts with a mode column ("-rwxr-xr-x").
  explicit ListTable(FILE* out, bool modes = false) : out_(out), modes_(modes) {}
  void Header();
  void Row(const ListRow& row);
  void Totals();

 private:
  // The mode column of a row, or the filler of the header lines and totals.
  void ModeColumn(const char* text);

  FILE* out_;
  bool modes_;
  uint64_t size_ = 0;
  uint64_t packed_ = 0;
  uint64_t count_ = 0;
};

}  // namespace kestrel::cli
