// code_tree.cpp — the Huffman tree construction and code assignment of the Deflate encoder.
#include "writer/code_tree.h"

#include <algorithm>
#include <cassert>

namespace kestrel::writer {

void CodeTreeBuilder::SiftDown(int k) {
  const int len = heapLen_;
  int* heap = heap_.data();
  const int v = heap[k];
  const uint32_t key = key_[size_t(v)];
  int j = k << 1;
  while (j <= len) {
    // Take the smaller of the two children; chosen by arithmetic, as the comparison is a coin
    // toss for the branch predictor (heap[len + 1] is read but not used when j == len).
    j += int(j < len) & int(Smaller(heap[j + 1], heap[j]));
    if (key <= key_[size_t(heap[j])]) break;
    heap[k] = heap[j];
    k = j;
    j <<= 1;
  }
  heap[k] = v;
}

void CodeTreeBuilder::BuildCodeTree(TreeDescriptor& desc, BlockLengths& lengths) {
  TreeNode* tree = desc.dynTree;
  const CodeEntry* stree = desc.staticTree;
  const int elems = desc.elems;
  int maxCode = -1;

  heapLen_ = 0;
  heapMax_ = kHeapSize;
  for (int n = 0; n < elems; ++n) {
    if (tree[n].freq != 0) {
      heap_[++heapLen_] = maxCode = n;
      key_[n] = Key(tree[n].freq, 0);
    } else {
      tree[n].len = 0;
    }
  }

  // Deflate needs at least two codes of non-zero frequency; a lone code gets one bit.
  while (heapLen_ < 2) {
    int node = heap_[++heapLen_] = (maxCode < 2 ? ++maxCode : 0);
    tree[node].freq = 1;
    key_[node] = Key(1, 0);
    lengths.optLen--;
    if (stree) lengths.staticLen -= stree[node].len;
  }
  desc.maxCode = maxCode;

  for (int n = heapLen_ / 2; n >= 1; --n) SiftDown(n);

  int node = elems;  // next internal node
  do {
    int n = heap_[1];
    heap_[1] = heap_[heapLen_--];
    SiftDown(1);
    int m = heap_[1];
    heap_[--heapMax_] = n;
    heap_[--heapMax_] = m;
    tree[node].freq = uint16_t(tree[n].freq + tree[m].freq);
    key_[node] = Key(tree[node].freq, std::max(key_[n] & 0xFF, key_[m] & 0xFF) + 1);
    tree[n].dad = tree[m].dad = uint16_t(node);
    heap_[1] = node++;
    SiftDown(1);
  } while (heapLen_ >= 2);
  heap_[--heapMax_] = heap_[1];

  ComputeLengths(desc, lengths);
  gencodes(tree, maxCode, blCount_);
}

void CodeTreeBuilder::ComputeLengths(TreeDescriptor& desc, BlockLengths& lengths) {
  TreeNode* tree = desc.dynTree;
  const CodeEntry* stree = desc.staticTree;
  const int maxCode = desc.maxCode;
  const int maxLength = desc.maxLength;
  const int base = desc.extraBase;
  int overflow = 0;

  blCount_.fill(0);
  // The root sits at heapMax_; every node's parent lies nearer the root, so one pass from the
  // root outwards gives every node its depth.
  tree[heap_[heapMax_]].len = 0;
  for (int h = heapMax_ + 1; h < kHeapSize; ++h) {
    int n = heap_[h];
    int bits = tree[tree[n].dad].len + 1;
    if (bits > maxLength) {
      bits = maxLength;
      ++overflow;
    }
    tree[n].len = uint16_t(bits);
    if (n > maxCode) continue;  // internal node
    blCount_[bits]++;
    int xbits = n >= base ? desc.extraBits[n - base] : 0;
    uint32_t f = tree[n].freq;
    lengths.optLen += f * uint32_t(bits + xbits);
    if (stree) lengths.staticLen += f * uint32_t(stree[n].len + xbits);
  }
  if (overflow == 0) return;

  // Move codes down from the longest permitted length until the counts describe a complete
  // code again: each step lengthens one shorter code and brings two overflowing codes in.
  do {
    int bits = maxLength - 1;
    while (blCount_[bits] == 0) --bits;
    blCount_[bits]--;
    blCount_[bits + 1] += 2;
    blCount_[maxLength]--;
    overflow -= 2;
  } while (overflow > 0);

  // Hand the lengths out again, the longest to the least frequent leaves (the back end of the
  // heap array holds the nodes in increasing frequency).
  int h = kHeapSize;
  for (int bits = maxLength; bits != 0; --bits) {
    int n = blCount_[bits];
    while (n != 0) {
      int m = heap_[--h];
      if (m > maxCode) continue;
      if (tree[m].len != bits) {
        lengths.optLen += uint32_t((bits - int(tree[m].len)) * int(tree[m].freq));
        tree[m].len = uint16_t(bits);
      }
      --n;
    }
  }
}

void gencodes(TreeNode* tree, int maxCode, const std::array<uint16_t, kMaxBits + 1>& count) {
  std::array<uint32_t, kMaxBits + 1> next{};
  uint32_t code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + (bits == 1 ? 0 : count[bits - 1])) << 1;
    next[bits] = code;
  }
  // A complete code uses up exactly the code space of its longest length.
  assert(code + count[kMaxBits] - 1 == (1u << kMaxBits) - 1);
  for (int n = 0; n <= maxCode; ++n) {
    int len = tree[n].len;
    if (len == 0) continue;
    tree[n].code = uint16_t(ReverseBits(next[len]++, len));
  }
}

}  // namespace kestrel::writer
