// progress_bar.h — one line on a terminal showing entries and bytes done of an archive, the
// rate and the time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kestrel::cli {

class ProgressBar {
 public:
  // Draws nothing unless enabled (the command enables it when stderr is a terminal).
  ProgressBar(FILE* out, bool enabled) : out_(out), enabled_(enabled) {}

  void SetTotals(uint64_t entries, uint64_t bytes);
  // Redraws at most ten times a second; force draws now.
  void Update(uint64_t entries, uint64_t bytes, bool force = false);
  // Removes the bar so that a message can be printed on a clean line.
  void Clear();
  // Draws the final state and ends the line.
  void Finish();

  // The bar's text for a state after seconds of work, without carriage return (public for
  // tests). Rate and time left appear once there is a second of work to measure.
  static std::string Format(uint64_t entries, uint64_t totalEntries, uint64_t bytes,
                            uint64_t totalBytes, double seconds);

 private:
  FILE* out_;
  bool enabled_;
  bool drawn_ = false;
  uint64_t totalEntries_ = 0, totalBytes_ = 0, entries_ = 0, bytes_ = 0;
  std::chrono::steady_clock::time_point lastDraw_{};
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace kestrel::cli
