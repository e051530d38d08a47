// trees.h — the Deflate tree encoder: collects the match finder's literals and matches for
// one block (ct_tally), then at each block boundary chooses stored, fixed or dynamic coding
// and writes the block through the bit writer (EmitBlock).
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "writer/bit_writer.h"
#include "writer/code_tree.h"
#include "writer/deflate_io.h"
#include "writer/deflate_tables.h"

namespace kestrel::writer {

inline constexpr uint32_t kLitBufSize = 32768;   // tally entries per block (one is kept free)
inline constexpr uint32_t kDistBufSize = 32768;  // matches per block

class TreeEncoder {
 public:
  TreeEncoder();

  // Starts a file at the given pack level, writing to sink.
  void ct_init(int level, DeflateSink* sink);

  // Records a literal (dist 0, lc = the byte) or a match (dist = distance 1-32768, lc =
  // length - 3). blockBytes is the input bytes of the block so far (for the early-flush
  // estimate). True when the block should be flushed now.
  bool ct_tally(uint32_t dist, uint32_t lc, int32_t blockBytes) {
    lbuf_[lastLit_++] = uint8_t(lc);
    if (dist == 0) {
      dynLtree_[lc].freq++;
    } else {
      --dist;
      dynLtree_[kLengthTables.lengthCode[lc] + kLiterals + 1].freq++;
      dynDtree_[d_code(dist)].freq++;
      dbuf_[lastDist_++] = uint16_t(dist);
      flags_ |= flagBit_;
    }
    flagBit_ <<= 1;
    if ((lastLit_ & 7) == 0) {
      flagBuf_[lastFlags_++] = uint8_t(flags_);
      flags_ = 0;
      flagBit_ = 1;
    }
    if (level_ > 2 && (lastLit_ & 0xFFF) == 0 && EarlyFlush(blockBytes)) return true;
    return lastLit_ == kLitBufSize - 1 || lastDist_ == kDistBufSize;
  }

  // Encodes the tallied block. buf holds the block's storedLen input bytes, or is nullptr when
  // they have left the window; eof marks the file's last block. Returns the compressed
  // length of the file so far in bytes.
  uint64_t EmitBlock(const uint8_t* buf, uint32_t storedLen, bool eof);

  uint16_t Method() const { return method_; }
  uint16_t InternalAttributes() const { return internalAttr_; }
  uint64_t BytesWritten() const { return bits_.BytesWritten(); }
  // The file's compressed length as the block statistics count it, in bytes.
  uint64_t CompressedLength() const { return compressedLen_ >> 3; }

 private:
  bool EarlyFlush(int32_t blockBytes) const;
  void InitBlock();
  void SetFileType();
  int BuildLengthTree();
  void ScanTree(TreeNode* tree, int maxCode);
  void send_tree(TreeNode* tree, int maxCode);
  void send_all_trees(int lcodes, int dcodes, int blcodes);
  template <typename LTree, typename DTree>
  void compress_block(const LTree* ltree, const DTree* dtree);
  void SendCode(const TreeNode& node) { bits_.send_bits(node.code, node.len); }

  int level_ = 6;
  std::unique_ptr<uint8_t[]> lbuf_;     // literal byte, or match length - 3
  std::unique_ptr<uint16_t[]> dbuf_;    // match distance - 1
  std::unique_ptr<uint8_t[]> flagBuf_;  // one bit per tally entry, 1 = match
  uint32_t lastLit_ = 0;
  uint32_t lastDist_ = 0;
  uint32_t lastFlags_ = 0;
  uint32_t flags_ = 0;
  uint32_t flagBit_ = 1;

  std::array<TreeNode, kHeapSize> dynLtree_{};
  std::array<TreeNode, 2 * kDCodes + 1> dynDtree_{};
  std::array<TreeNode, 2 * kBlCodes + 1> blTree_{};
  TreeDescriptor lDesc_;
  TreeDescriptor dDesc_;
  TreeDescriptor blDesc_;
  CodeTreeBuilder builder_;
  BlockLengths lengths_;

  uint64_t compressedLen_ = 0;  // bits written for the file so far
  uint64_t inputLen_ = 0;       // bytes of the file encoded so far
  uint16_t method_ = 8;
  uint16_t internalAttr_ = 2;   // 2 = not yet known
  BitWriter bits_;
};

}  // namespace kestrel::writer
