// mode_text.cpp — ls-style mode strings for the listing.
#include "cli/mode_text.h"

namespace kestrel::cli {

namespace {

char TypeLetter(uint32_t mode) {
  switch (mode & 0170000) {
    case 0100000: return '-';
    case 0040000: return 'd';
    case 0120000: return 'l';
    case 0010000: return 'p';
    case 0020000: return 'c';
    case 0060000: return 'b';
    case 0140000: return 's';
    default: return '?';
  }
}

// One of user, group, other: r, w, and x or the special bit's letter in x's place (lower
// case when x is set too, upper case when not).
std::string Triplet(uint32_t bits, bool special, char specialLetter) {
  std::string text = {bits & 4 ? 'r' : '-', bits & 2 ? 'w' : '-', bits & 1 ? 'x' : '-'};
  if (special) {
    text[2] = bits & 1 ? specialLetter : char(specialLetter - 'a' + 'A');
  }
  return text;
}

}  // namespace

std::string ModeText(uint32_t unixMode, uint32_t dosAttributes, bool directory) {
  if (unixMode == 0) {
    // The MS-DOS bits: read-only (no w), directory (d and x), archive, hidden, system.
    return std::string{directory ? 'd' : '-', 'r', dosAttributes & 0x01 ? '-' : 'w',
                       directory ? 'x' : '-', dosAttributes & 0x20 ? 'a' : '-',
                       dosAttributes & 0x02 ? 'h' : '-', dosAttributes & 0x04 ? 's' : '-'};
  }
  return TypeLetter(unixMode) + Triplet(unixMode >> 6 & 7, unixMode & 04000, 's') +
         Triplet(unixMode >> 3 & 7, unixMode & 02000, 's') +
         Triplet(unixMode & 7, unixMode & 01000, 't');
}

}  // namespace kestrel::cli
