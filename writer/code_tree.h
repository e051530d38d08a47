// code_tree.h — building one length-limited Huffman code from symbol frequencies
// (BuildCodeTree) and assigning the canonical codes (gencodes).
//
// The construction is fixed exactly, because it decides the bits of the stream: leaves go on
// a binary min-heap ordered by frequency, then by depth; the two smallest nodes are merged
// repeatedly and stored, in removal order, at the back end of the heap array; lengths are
// read off the parents and, when a length exceeds the limit, the overflow is repaired by
// moving codes between length counts and handing the lengths out again, longest to the least
// frequent leaves.
#pragma once

#include <array>
#include <cstdint>

#include "writer/deflate_tables.h"

namespace kestrel::writer {

// One node of a dynamic tree. Leaves are symbols 0 to elems - 1; internal nodes follow.
struct TreeNode {
  uint16_t freq = 0;  // frequency while the tree is built
  uint16_t dad = 0;   // parent node while the tree is built
  uint16_t code = 0;  // bit-reversed code, once built
  uint16_t len = 0;   // code length, once built
};

struct TreeDescriptor {
  TreeNode* dynTree;               // the tree to build (elems leaves + internal nodes)
  const CodeEntry* staticTree;     // the fixed tree, or nullptr (bit-length tree)
  const uint8_t* extraBits;        // extra bits of symbols extraBase and above
  int extraBase;                   // first symbol with extra bits
  int elems;                       // number of symbols
  int maxLength;                   // length limit
  int maxCode = 0;                 // largest symbol with non-zero frequency, set by the build
};

// Block statistics: bits of the block with the dynamic codes (tree header included once
// BuildLengthTree adds it) and with the fixed codes, both without the 3 block-header bits.
struct BlockLengths {
  uint32_t optLen = 0;
  uint32_t staticLen = 0;
};

class CodeTreeBuilder {
 public:
  // Builds the code of desc.dynTree from its frequencies: sets maxCode, every leaf's len and
  // code, and adds the block's bits under this tree to lengths.
  void BuildCodeTree(TreeDescriptor& desc, BlockLengths& lengths);

 private:
  // Heap order: n comes first when freq(n) < freq(m), or the frequencies are equal and
  // depth(n) <= depth(m); with key = freq << 8 | depth that is one comparison.
  static uint32_t Key(uint32_t freq, uint32_t depth) { return freq << 8 | depth; }
  bool Smaller(int n, int m) const { return key_[n] <= key_[m]; }
  void SiftDown(int k);
  void ComputeLengths(TreeDescriptor& desc, BlockLengths& lengths);

  std::array<int, kHeapSize> heap_{};
  int heapLen_ = 0;
  int heapMax_ = 0;
  std::array<uint32_t, kHeapSize> key_{};  // Key(freq, depth) of every node on the heap
  std::array<uint16_t, kMaxBits + 1> blCount_{};
};

// Assigns canonical codes to symbols 0 to maxCode of tree from their lengths; count[b] is the
// number of codes of length b (count[0] is ignored).
void gencodes(TreeNode* tree, int maxCode, const std::array<uint16_t, kMaxBits + 1>& count);

}  // namespace kestrel::writer
