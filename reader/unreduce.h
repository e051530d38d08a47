// unreduce.h — decoder for reduced entries (methods 2 to 5): follower-set byte coding, then a
// run/match expansion whose length and distance split depends on the compression factor.
#pragma once

namespace kestrel::reader {

// Decodes the current entry of State() (positioned at its compressed data) for method 2 to 5
// (factor method - 1). Returns ExtractOk, ExtractWriteError or ExtractCancelled; corrupt or
// truncated data ends when the input runs out and shows as a CRC mismatch.
int Unreduce(int method);

}  // namespace kestrel::reader
