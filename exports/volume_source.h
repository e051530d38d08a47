// volume_source.h — UnZipFile's drive-A: step: when the source on drive A: is a volume set,
// join it into the temporary directory and hand back the joined archive, which is removed
// again when the JoinedArchive goes out of scope (on every path out of UnZipFile).
#pragma once

#include <string>

namespace kestrel::exports {

// Largest temporary directory UnZipFile accepts (its fixed buffer holds 100 characters).
inline constexpr size_t kMaxTempPath = 100;

class JoinedArchive {
 public:
  enum class Outcome {
    NotAVolumeSet,  // not on A:, or not tagged "xml": read the source in place
    Joined,         // path() names the joined archive in the temporary directory
    Failed,         // no temporary directory, or the join failed or was cancelled: result 0
  };

  // Decides and, for a volume set, joins (with the volume set's prompts and messages).
  explicit JoinedArchive(const std::string& source);
  JoinedArchive(const JoinedArchive&) = delete;
  JoinedArchive& operator=(const JoinedArchive&) = delete;
  ~JoinedArchive();  // deletes the joined file, if any

  Outcome outcome() const { return outcome_; }
  // The archive to read: the joined file when Joined, else the source itself.
  const std::string& path() const { return path_; }

 private:
  Outcome outcome_ = Outcome::NotAVolumeSet;
  std::string path_;
  bool joined_ = false;
};

}  // namespace kestrel::exports
