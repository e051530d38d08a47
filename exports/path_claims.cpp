// path_claims.cpp — conflicts between the paths of entries extracted at the same time.
#include "exports/path_claims.h"

#include <utility>

#include "classlib/ansi_string.h"

namespace kestrel::exports {

namespace {

PathClaim::Name NameOf(std::string exact) {
  std::string folded = classlib::AsciiLowerCase(exact);
  return {std::move(exact), std::move(folded)};
}

}  // namespace

PathClaim PathClaim::Of(const std::string& outputPath, size_t destLength, bool directory) {
  std::string path = outputPath;
  while (path.size() > destLength && path.back() == '\\') path.pop_back();
  PathClaim claim;
  claim.directory = directory;
  claim.self = NameOf(path);
  for (size_t at = path.find('\\', destLength); at != std::string::npos;
       at = path.find('\\', at + 1)) {
    if (at > destLength) claim.ancestors.push_back(NameOf(path.substr(0, at)));
  }
  return claim;
}

void PathClaims::Change(Names& names, const PathClaim::Name& name, int by) {
  auto& spellings = names[name.folded];
  if ((spellings[name.exact] += by) == 0) spellings.erase(name.exact);
  if (spellings.empty()) names.erase(name.folded);
}

bool PathClaims::Holds(const Names& names, const PathClaim::Name& name) {
  return names.count(name.folded) != 0;
}

bool PathClaims::HoldsOtherSpelling(const Names& names, const PathClaim::Name& name) {
  const auto it = names.find(name.folded);
  if (it == names.end()) return false;
  return it->second.size() > 1 || it->second.count(name.exact) == 0;
}

bool PathClaims::Conflicts(const PathClaim& claim) const {
  if (Holds(files_, claim.self) || Holds(directories_, claim.self)) return true;
  if (claim.directory ? HoldsOtherSpelling(ancestors_, claim.self) : Holds(ancestors_, claim.self)) {
    return true;
  }
  for (const PathClaim::Name& up : claim.ancestors) {
    if (Holds(files_, up) || HoldsOtherSpelling(ancestors_, up) ||
        HoldsOtherSpelling(directories_, up)) {
      return true;
    }
  }
  return false;
}

void PathClaims::Take(const PathClaim& claim) {
  Change(claim.directory ? directories_ : files_, claim.self, 1);
  for (const PathClaim::Name& up : claim.ancestors) Change(ancestors_, up, 1);
}

void PathClaims::Release(const PathClaim& claim) {
  Change(claim.directory ? directories_ : files_, claim.self, -1);
  for (const PathClaim::Name& up : claim.ancestors) Change(ancestors_, up, -1);
}

}  // namespace kestrel::exports
