// name_cache.cpp — what case-insensitive lookups learn about directories, kept while a
// NameLookupScope is open on the calling thread.
//
// Without it every new file costs a full read of its directory (is there a name of another
// case?). A directory this thread created holds only what it put there since, and one read
// once stays true as long as this thread's own creations and removals are noted in it; so the
// names are remembered and updated instead of read again. The cache belongs to the thread
// that opened the scope (and the workers that joined it) and lives only as long as the
// outermost scope: changes made meanwhile by other threads or processes are not seen, which
// is why a scope is opened only around one batch of work (an extraction).
#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {
namespace posix {

namespace {

thread_local int scopeDepth = 0;
thread_local std::shared_ptr<NameCache> active;

std::string Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

// Splits "/a/b/c" into "/a/b" and "c"; false for a path without a parent.
bool SplitLast(const std::string& hostPath, std::string& parent, std::string& name) {
  std::string path = hostPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 >= path.size()) return false;
  parent = slash == 0 ? "/" : path.substr(0, slash);
  name = path.substr(slash + 1);
  return true;
}

bool Within(const std::string& path, const std::string& dir) {
  return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                         (dir.back() == '/' || path[dir.size()] == '/'));
}

}  // namespace

bool NameCache::Listing::Add(const std::string& name) {
  std::vector<std::string>& names = byFolded[Folded(name)];
  if (std::find(names.begin(), names.end(), name) != names.end()) return false;
  names.push_back(name);
  return names.size() > 1;
}

void NameCache::Listing::Remove(const std::string& name) {
  auto it = byFolded.find(Folded(name));
  if (it == byFolded.end()) return;
  auto& names = it->second;
  names.erase(std::remove(names.begin(), names.end(), name), names.end());
  if (names.empty()) byFolded.erase(it);
}

NameCache::Lookup NameCache::Listing::Find(const std::string& name, std::string& found) const {
  auto it = byFolded.find(Folded(name));
  if (it == byFolded.end()) return Lookup::Missing;
  const auto& names = it->second;
  if (std::find(names.begin(), names.end(), name) != names.end()) {
    found = name;
  } else {
    found = *std::min_element(names.begin(), names.end());  // as a read of the directory picks
  }
  return Lookup::Found;
}

NameCache::Listing* NameCache::ListingOf(const std::string& hostDir) {
  auto it = listings_.find(hostDir);
  return it == listings_.end() ? nullptr : &it->second;
}

NameCache::Listing* NameCache::Read(const std::string& hostDir) {
  DIR* d = ::opendir(hostDir.c_str());
  if (d == nullptr) return nullptr;
  Listing listing;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") listing.Add(name);
  }
  ::closedir(d);
  return &(listings_[hostDir] = std::move(listing));
}

const std::string* NameCache::KnownDirectory(const std::string& spelled) const {
  auto it = directories_.find(spelled);
  return it == directories_.end() ? nullptr : &it->second;
}

void NameCache::RememberDirectory(const std::string& spelled, const std::string& hostDir) {
  directories_[spelled] = hostDir;
}

void NameCache::Created(const std::string& hostPath, bool newDirectory,
                        const std::string& spelled) {
  std::string path = hostPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::string parent, name;
  if (SplitLast(path, parent, name)) {
    if (Listing* listing = ListingOf(parent); listing != nullptr && listing->Add(name)) {
      // A second name of another case: spellings known to lead to the first may now lead here.
      directories_.clear();
    }
  }
  if (!newDirectory) return;
  // Empty, and everything put in it from now on is noted. Not so when other threads share the
  // cache: one of them may have put a file in it before this note; the first lookup reads it.
  if (!shared) listings_[path] = Listing{};
  if (!spelled.empty()) directories_[spelled] = path;
}

void NameCache::Removed(const std::string& hostPath) {
  std::string path = hostPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::string parent, name;
  if (SplitLast(path, parent, name)) {
    if (Listing* listing = ListingOf(parent)) listing->Remove(name);
  }
  std::erase_if(listings_, [&path](const auto& item) { return Within(item.first, path); });
  std::erase_if(directories_, [&path](const auto& item) { return Within(item.second, path); });
}

NameCache* ActiveNameCache() { return active.get(); }

void NoteCreated(const std::string& hostPath, bool newDirectory, const std::string& spelled) {
  if (!active) return;
  const std::lock_guard<std::mutex> guard(active->mutex);
  active->Created(hostPath, newDirectory, spelled);
}

void NoteRemoved(const std::string& hostPath) {
  if (!active) return;
  const std::lock_guard<std::mutex> guard(active->mutex);
  active->Removed(hostPath);
}

}  // namespace posix

NameLookupScope::NameLookupScope() {
  if (posix::scopeDepth++ == 0) posix::active = std::make_shared<posix::NameCache>();
}

NameLookupScope::NameLookupScope(const Shared& shared) {
  if (posix::scopeDepth++ == 0) posix::active = std::static_pointer_cast<posix::NameCache>(shared);
}

NameLookupScope::Shared NameLookupScope::Current() {
  if (posix::active) {
    const std::lock_guard<std::mutex> guard(posix::active->mutex);
    posix::active->shared = true;
  }
  return posix::active;
}

NameLookupScope::~NameLookupScope() {
  if (--posix::scopeDepth == 0) posix::active.reset();
}

}  // namespace kestrel::os
