// api_writer_staging.h — data that a writer adds from memory or from a read callback waits in
// a private temporary directory, one file per entry at its stored name, so the component packs
// it like any other file (same compressor, encryption and update rules).
#pragma once

#include <set>
#include <string>

#include "kestrel.h"

namespace kestrel::exports {

class Staging {
 public:
  // An empty directory of its own under the system's temporary directory; on failure
  // directory() is empty and error says why.
  explicit Staging(std::string& error);
  ~Staging();  // removes the directory and everything in it
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  const std::string& directory() const { return directory_; }  // native, no trailing '/'
  // Writes the data that read delivers to the file for entry name (a checked relative name,
  // '/' separators; a name ending in '/' makes a directory and reads nothing). Returns
  // KESTREL_OK with hostPath set, or a failure code with error set (nothing kept then).
  // newName tells whether the name was not staged before.
  int Put(const std::string& name, kestrel_read_fn read, void* context, std::string& hostPath,
          bool& newName, std::string& error);

 private:
  std::string directory_;
  std::set<std::string> names_;
};

}  // namespace kestrel::exports
