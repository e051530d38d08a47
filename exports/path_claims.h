// path_claims.h — the paths that entries being extracted on worker threads write, so that an
// entry whose outcome could depend on one of them waits until it is done. Names are compared
// as the file layer finds them, without regard to ASCII case.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace kestrel::exports {

// What one entry writes: its own path (a file, or a directory entry's directory) and the
// directories on its way, each as spelled and case-folded.
struct PathClaim {
  struct Name {
    std::string exact;
    std::string folded;
  };
  Name self;
  bool directory = false;
  std::vector<Name> ancestors;  // below the destination only

  // outputPath: a drive path ("\" separators) under a destination of destLength characters.
  static PathClaim Of(const std::string& outputPath, size_t destLength, bool directory);
};

class PathClaims {
 public:
  // True when running claim beside the claims held could end otherwise than running it after
  // them: the same name (in any case), a file where another makes a directory or the other
  // way round, or one directory spelled in two cases (the second would be made beside the
  // first instead of found).
  bool Conflicts(const PathClaim& claim) const;
  void Take(const PathClaim& claim);
  void Release(const PathClaim& claim);

 private:
  // folded name -> exact spelling -> how many claims hold it
  using Names = std::unordered_map<std::string, std::unordered_map<std::string, int>>;
  static void Change(Names& names, const PathClaim::Name& name, int by);
  static bool Holds(const Names& names, const PathClaim::Name& name);
  static bool HoldsOtherSpelling(const Names& names, const PathClaim::Name& name);

  Names files_;
  Names directories_;
  Names ancestors_;
};

}  // namespace kestrel::exports
