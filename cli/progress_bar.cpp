// progress_bar.cpp — the terminal progress line of unzip and test.
#include "cli/progress_bar.h"

#include <algorithm>

namespace kestrel::cli {

namespace {

constexpr int kBarWidth = 24;
// Redrawing a terminal line costs more than extracting a small file; ten a second is smooth.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

constexpr double kMiB = 1024.0 * 1024.0;

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", double(bytes) / kMiB);
  return text;
}

// ", 5.2 MiB/s, 0:07 left" once a rate can be told; "" before.
std::string RateAndTimeLeft(uint64_t bytes, uint64_t totalBytes, double seconds) {
  if (seconds < 1.0 || bytes == 0) return "";
  const double rate = double(bytes) / seconds;
  const uint64_t left = totalBytes > bytes ? uint64_t(double(totalBytes - bytes) / rate + 0.5) : 0;
  char text[64];
  std::snprintf(text, sizeof text, ", %.1f MiB/s, %llu:%02llu left", rate / kMiB,
                static_cast<unsigned long long>(left / 60), static_cast<unsigned long long>(left % 60));
  return text;
}

}  // namespace

std::string ProgressBar::Format(uint64_t entries, uint64_t totalEntries, uint64_t bytes,
                                uint64_t totalBytes, double seconds) {
  // Bytes measure the work better than entries; an archive of empty files has only entries.
  const double share = totalBytes > 0     ? double(std::min(bytes, totalBytes)) / double(totalBytes)
                       : totalEntries > 0 ? double(std::min(entries, totalEntries)) / double(totalEntries)
                                          : 1.0;
  const int filled = int(share * kBarWidth);
  // Packing knows the bytes ahead but not the entries: then only the count so far is shown.
  const std::string count = totalEntries > 0 ? std::to_string(entries) + "/" + std::to_string(totalEntries)
                                             : std::to_string(entries);
  char text[200];
  std::snprintf(text, sizeof text, "%3d%% [%s%s] %s entries, %s/%s MiB%s", int(share * 100),
                std::string(size_t(filled), '#').c_str(),
                std::string(size_t(kBarWidth - filled), '.').c_str(), count.c_str(),
                Megabytes(bytes).c_str(),
                Megabytes(totalBytes).c_str(), RateAndTimeLeft(bytes, totalBytes, seconds).c_str());
  return text;
}

void ProgressBar::SetTotals(uint64_t entries, uint64_t bytes) {
  totalEntries_ = entries;
  totalBytes_ = bytes;
}

void ProgressBar::Update(uint64_t entries, uint64_t bytes, bool force) {
  entries_ = entries;
  bytes_ = bytes;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  drawn_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::fprintf(out_, "\r%s\033[K",
               Format(entries_, totalEntries_, bytes_, totalBytes_, seconds).c_str());
  std::fflush(out_);
}

void ProgressBar::Clear() {
  if (!enabled_ || !drawn_) return;
  std::fprintf(out_, "\r\033[K");
  drawn_ = false;
}

void ProgressBar::Finish() {
  if (!enabled_) return;
  Update(entries_, bytes_, true);
  std::fprintf(out_, "\n");
  drawn_ = false;
}

}  // namespace kestrel::cli
