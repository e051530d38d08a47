// trees.cpp — block encoding of the Deflate tree encoder: the per-block choice between the
// stored, fixed and dynamic forms, the run-length coding of the code lengths, and the token
// loop that writes a block's literals and matches.
#include "writer/trees.h"

#include <cassert>

namespace kestrel::writer {

TreeEncoder::TreeEncoder()
    : lbuf_(new uint8_t[kLitBufSize]),
      dbuf_(new uint16_t[kDistBufSize]),
      flagBuf_(new uint8_t[kLitBufSize / 8]),
      lDesc_{dynLtree_.data(), kFixedTrees.literal.data(), kExtraLBits.data(), kLiterals + 1,
             kLCodes, kMaxBits},
      dDesc_{dynDtree_.data(), kFixedTrees.distance.data(), kExtraDBits.data(), 0, kDCodes,
             kMaxBits},
      blDesc_{blTree_.data(), nullptr, kExtraBlBits.data(), 0, kBlCodes, kMaxBlBits} {}

void TreeEncoder::ct_init(int level, DeflateSink* sink) {
  level_ = level;
  compressedLen_ = 0;
  inputLen_ = 0;
  method_ = 8;
  internalAttr_ = 2;
  bits_.Start(sink);
  InitBlock();
}

void TreeEncoder::InitBlock() {
  for (int n = 0; n < kLCodes; ++n) dynLtree_[n].freq = 0;
  for (int n = 0; n < kDCodes; ++n) dynDtree_[n].freq = 0;
  for (int n = 0; n < kBlCodes; ++n) blTree_[n].freq = 0;
  dynLtree_[kEndBlock].freq = 1;
  lengths_ = BlockLengths{};
  lastLit_ = lastDist_ = lastFlags_ = 0;
  flags_ = 0;
  flagBit_ = 1;
}

bool TreeEncoder::EarlyFlush(int32_t blockBytes) const {
  // Rough size of the block so far with literals at 8 bits and matches at a 5-bit distance
  // code plus extra bits: flush when matches are few yet already halve the input.
  uint32_t outLength = lastLit_ * 8u;
  for (int dcode = 0; dcode < kDCodes; ++dcode)
    outLength += uint32_t(dynDtree_[dcode].freq) * (5u + kExtraDBits[dcode]);
  outLength >>= 3;
  return lastDist_ < lastLit_ / 2 && int64_t(outLength) < int64_t(blockBytes / 2);
}

void TreeEncoder::SetFileType() {
  uint32_t binary = 0, text = 0;
  for (int n = 0; n < 7; ++n) binary += dynLtree_[n].freq;
  for (int n = 7; n < 128; ++n) text += dynLtree_[n].freq;
  for (int n = 128; n < kLiterals; ++n) binary += dynLtree_[n].freq;
  internalAttr_ = binary <= text / 4 ? 1 : 0;
}

// Walks the run-length coding of tree's lengths 0..maxCode, calling emit(symbol, repeat) for
// each symbol; repeat is the count carried by symbols 16-18 (unused otherwise).
template <typename Emit>
static void RunLengths(TreeNode* tree, int maxCode, Emit emit) {
  int prevlen = -1;
  int nextlen = tree[0].len;
  int count = 0;
  int maxCount = 7;
  int minCount = 4;
  if (nextlen == 0) maxCount = 138, minCount = 3;
  const uint16_t saved = tree[maxCode + 1].len;
  tree[maxCode + 1].len = 0xFFFF;  // guard: ends the last run
  for (int n = 0; n <= maxCode; ++n) {
    int curlen = nextlen;
    nextlen = tree[n + 1].len;
    if (++count < maxCount && curlen == nextlen) continue;
    if (count < minCount) {
      do emit(curlen, 0); while (--count != 0);
    } else if (curlen != 0) {
      if (curlen != prevlen) {
        emit(curlen, 0);
        --count;
      }
      assert(count >= 3 && count <= 6);  // " 3_6? - send_tree"
      emit(kRep3To6, count);
    } else if (count <= 10) {
      emit(kRepZ3To10, count);
    } else {
      emit(kRepZ11To138, count);
    }
    count = 0;
    prevlen = curlen;
    if (nextlen == 0) {
      maxCount = 138, minCount = 3;
    } else if (curlen == nextlen) {
      maxCount = 6, minCount = 3;
    } else {
      maxCount = 7, minCount = 4;
    }
  }
  tree[maxCode + 1].len = saved;
}

void TreeEncoder::ScanTree(TreeNode* tree, int maxCode) {
  RunLengths(tree, maxCode,
             [this](int symbol, int) { blTree_[symbol].freq++; });
}

void TreeEncoder::send_tree(TreeNode* tree, int maxCode) {
  RunLengths(tree, maxCode, [this](int symbol, int repeat) {
    SendCode(blTree_[symbol]);
    if (symbol == kRep3To6) {
      bits_.send_bits(uint32_t(repeat - 3), 2);
    } else if (symbol == kRepZ3To10) {
      bits_.send_bits(uint32_t(repeat - 3), 3);
    } else if (symbol == kRepZ11To138) {
      bits_.send_bits(uint32_t(repeat - 11), 7);
    }
  });
}

int TreeEncoder::BuildLengthTree() {
  ScanTree(dynLtree_.data(), lDesc_.maxCode);
  ScanTree(dynDtree_.data(), dDesc_.maxCode);
  builder_.BuildCodeTree(blDesc_, lengths_);
  int maxIndex = kBlCodes - 1;
  for (; maxIndex >= 3; --maxIndex) {
    if (blTree_[kBlOrder[maxIndex]].len != 0) break;
  }
  // The header: 3 bits per bit-length code sent, and the three counts.
  lengths_.optLen += 3 * (uint32_t(maxIndex) + 1) + 5 + 5 + 4;
  return maxIndex;
}

void TreeEncoder::send_all_trees(int lcodes, int dcodes, int blcodes) {
  assert(lcodes >= 257 && dcodes >= 1 && blcodes >= 4);   // "not enough codes"
  assert(lcodes <= kLCodes && dcodes <= kDCodes && blcodes <= kBlCodes);  // "too many codes"
  bits_.send_bits(uint32_t(lcodes - 257), 5);
  bits_.send_bits(uint32_t(dcodes - 1), 5);
  bits_.send_bits(uint32_t(blcodes - 4), 4);
  for (int rank = 0; rank < blcodes; ++rank) bits_.send_bits(blTree_[kBlOrder[rank]].len, 3);
  send_tree(dynLtree_.data(), lcodes - 1);
  send_tree(dynDtree_.data(), dcodes - 1);
}

template <typename LTree, typename DTree>
void TreeEncoder::compress_block(const LTree* ltree, const DTree* dtree) {
  // A length symbol and its extra bits go out as one send, and so do a distance code and its
  // extra bits: the bits are the same, the writer is called half as often.
  std::array<uint32_t, 256> lengthBits;
  std::array<uint8_t, 256> lengthLen;
  for (uint32_t lc = 0; lc < 256; ++lc) {
    uint32_t code = kLengthTables.lengthCode[lc];
    const auto& sym = ltree[code + kLiterals + 1];
    lengthBits[lc] = sym.code | ((lc - kLengthTables.baseLength[code]) << sym.len);
    lengthLen[lc] = uint8_t(sym.len + kExtraLBits[code]);
  }
  const uint8_t* lbuf = lbuf_.get();
  const uint16_t* dbuf = dbuf_.get();
  const uint8_t* flagBuf = flagBuf_.get();
  const uint32_t last = lastLit_;
  // A token is at most 15 bits (literal) or 20 + 28 (length and distance), so one drain per
  // token keeps the accumulator below its 56-bit limit.
  BitWriter::Burst out(bits_);
  uint32_t lx = 0, dx = 0, fx = 0, flag = 0;
  while (lx < last) {
    if ((lx & 7) == 0) flag = flagBuf[fx++];
    uint32_t lc = lbuf[lx++];
    if ((flag & 1) == 0) {
      out.Add(ltree[lc].code, ltree[lc].len);
    } else {
      out.Add(lengthBits[lc], lengthLen[lc]);
      uint32_t dist = dbuf[dx++];
      uint32_t code = d_code(dist);
      assert(code < kDCodes);  // "bad d_code-compress_block"
      const auto& sym = dtree[code];
      out.Add(sym.code | ((dist - kDistanceTables.baseDist[code]) << sym.len),
              sym.len + kExtraDBits[code]);
    }
    out.Drain();
    flag >>= 1;
  }
  out.Add(ltree[kEndBlock].code, ltree[kEndBlock].len);
  out.Drain();
  out.Save();
}

uint64_t TreeEncoder::EmitBlock(const uint8_t* buf, uint32_t storedLen, bool eof) {
  flagBuf_[lastFlags_] = uint8_t(flags_);
  if (internalAttr_ == 2) SetFileType();

  builder_.BuildCodeTree(lDesc_, lengths_);
  builder_.BuildCodeTree(dDesc_, lengths_);
  int maxBlIndex = BuildLengthTree();

  uint32_t optBytes = (lengths_.optLen + 3 + 7) >> 3;
  uint32_t staticBytes = (lengths_.staticLen + 3 + 7) >> 3;
  inputLen_ += storedLen;
  if (staticBytes <= optBytes) optBytes = staticBytes;

  if (storedLen <= optBytes && eof && compressedLen_ == 0 && buf != nullptr) {
    // The file's only block does not shrink: the whole file goes out unchanged.
    bits_.CopyStoredBytes(buf, storedLen, false);
    compressedLen_ = uint64_t(storedLen) << 3;
    method_ = 0;
  } else if (storedLen + 4 <= optBytes && buf != nullptr && storedLen <= 0xFFFF) {
    bits_.send_bits(eof ? 1u : 0u, 3);  // stored block
    compressedLen_ = (compressedLen_ + 3 + 7) & ~uint64_t(7);
    compressedLen_ += uint64_t(storedLen + 4) << 3;
    bits_.CopyStoredBytes(buf, storedLen, true);
  } else if (staticBytes == optBytes) {
    bits_.send_bits(2u + (eof ? 1u : 0u), 3);  // fixed codes
    compress_block(kFixedTrees.literal.data(), kFixedTrees.distance.data());
    compressedLen_ += 3 + lengths_.staticLen;
  } else {
    bits_.send_bits(4u + (eof ? 1u : 0u), 3);  // dynamic codes
    send_all_trees(lDesc_.maxCode + 1, dDesc_.maxCode + 1, maxBlIndex + 1);
    compress_block(dynLtree_.data(), dynDtree_.data());
    compressedLen_ += 3 + lengths_.optLen;
  }
  InitBlock();
  if (eof) {
    bits_.AlignOutput();
    compressedLen_ += 7;
  }
  return compressedLen_ >> 3;
}

}  // namespace kestrel::writer
