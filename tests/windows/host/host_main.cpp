// host_main.cpp — the Windows test host: loads the Kestrel DLL by name the way an
// application does (LoadLibraryA, GetProcAddress by export name), runs a script of calls
// with their expected results, and answers the library's message boxes through a WH_CBT
// hook, checking caption, text bytes and flags of each.
//
//   kestrel_host [--script FILE] [LINE ...]     exit status 0 when every check held
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "answerer/disk_changer.h"
#include "answerer/message_box_answerer.h"
#include "answerer/win_files.h"
#include "host/script.h"

namespace kestrel::wintest {
namespace {

using GetVersionFn = const char*(__stdcall*)();
using IsZipFn = uint8_t(__stdcall*)(const char*);
using UnZipFileFn = uint8_t(__stdcall*)(const char*, const char*, const char*);
using ZipFileFn = int32_t(__stdcall*)(const char*, const char*, const char*, int32_t, int32_t);

struct ExpectedBox {
  bool checked = false;  // false for a bare "answer"
  uint32_t flags = 0;
  std::string caption, text;
  int line = 0;
};

class Host {
 public:
  int Run(const std::vector<std::string>& lines);

 private:
  bool Execute(const Command& c);
  bool Call(const Command& c, std::string& result);
  bool CheckBoxes(const Command& c);
  bool FileQuery(const Command& c, std::string& result);
  bool Insert(const Command& c, const std::string& disk);
  bool Fail(const Command& c, const std::string& message) {
    std::printf("FAIL line %d (%s): %s\n", c.line, c.verb.c_str(), message.c_str());
    ++failures_;
    return false;
  }
  FARPROC Lookup(const Command& c, const char* name);
  // GetProcAddress's result as the export's real type (through void(*)(), the one function
  // pointer type any other may be cast from without a warning).
  template <typename Fn>
  Fn Export(const Command& c, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(Lookup(c, name)));
  }

  HMODULE dll_ = nullptr;
  std::string dllName_ = "Kestrel64.dll";
  MessageBoxAnswerer answerer_;
  std::unique_ptr<DiskChanger> disks_;
  std::deque<ExpectedBox> expected_;
  size_t seenBoxes_ = 0;
  int failures_ = 0;
};

FARPROC Host::Lookup(const Command& c, const char* name) {
  if (!dll_) {
    dll_ = LoadLibraryA(dllName_.c_str());
    if (!dll_) {
      Fail(c, "LoadLibraryA(" + dllName_ + ") failed, error " + std::to_string(GetLastError()));
      return nullptr;
    }
  }
  FARPROC f = GetProcAddress(dll_, name);
  if (!f) Fail(c, std::string("no export named ") + name);
  return f;
}

bool Host::Call(const Command& c, std::string& result) {
  const auto& a = c.args;
  auto arity = [&](size_t n) {
    if (a.size() == n) return true;
    Fail(c, "takes " + std::to_string(n) + " arguments");
    return false;
  };
  if (c.verb == "GetVersion") {
    if (!arity(0)) return false;
    auto f = Export<GetVersionFn>(c, "GetVersion");
    if (!f) return false;
    const char* text = f();
    if (!text) return Fail(c, "returned a null pointer");
    result = text;
    return true;
  }
  if (c.verb == "isZip") {
    if (!arity(1)) return false;
    auto f = Export<IsZipFn>(c, "isZip");
    if (!f) return false;
    result = std::to_string(f(a[0].c_str()));
    return true;
  }
  if (c.verb == "UnZipFile") {
    if (!arity(3)) return false;
    auto f = Export<UnZipFileFn>(c, "UnZipFile");
    if (!f) return false;
    result = std::to_string(f(a[0].c_str(), a[1].c_str(), a[2].c_str()));
    return true;
  }
  if (c.verb == "ZipFile") {
    if (!arity(5)) return false;
    auto f = Export<ZipFileFn>(c, "ZipFile");
    if (!f) return false;
    int32_t level = std::atoi(a[3].c_str()), recurse = std::atoi(a[4].c_str());
    result = std::to_string(f(a[0].c_str(), a[1].c_str(), a[2].c_str(), level, recurse));
    return true;
  }
  return Fail(c, "unknown command");
}

// "exists" and "same": what the calls left on disk. Environment variables in the paths
// (%TEMP%) are expanded, so the script can name the system's temporary directory.
bool Host::FileQuery(const Command& c, std::string& result) {
  std::vector<std::string> paths;
  for (const std::string& arg : c.args) {
    char expanded[MAX_PATH + 1];
    DWORD n = ExpandEnvironmentStringsA(arg.c_str(), expanded, sizeof expanded);
    if (n == 0 || n > sizeof expanded) return Fail(c, "cannot expand " + arg);
    paths.emplace_back(expanded);
  }
  if (c.verb == "exists" && paths.size() == 1) {
    result = Exists(paths[0]) ? "1" : "0";
  } else if (c.verb == "same" && paths.size() == 2) {
    result = Exists(paths[0]) && Exists(paths[1]) &&
                     ReadWholeFile(paths[0]) == ReadWholeFile(paths[1])
                 ? "1"
                 : "0";
  } else {
    return Fail(c, "exists \"PATH\" or same \"PATH\" \"PATH\"");
  }
  return true;
}

bool Host::Insert(const Command& c, const std::string& disk) {
  if (!disks_) return Fail(c, "no disks declared");
  if (!disks_->Insert(std::atoi(disk.c_str()))) return Fail(c, "cannot insert disk " + disk);
  return true;
}

// Matches the boxes shown since the last check against the declared ones, in order.
bool Host::CheckBoxes(const Command& c) {
  bool ok = true;
  const auto& boxes = answerer_.Boxes();
  for (; seenBoxes_ < boxes.size(); ++seenBoxes_) {
    const RecordedBox& b = boxes[seenBoxes_];
    std::printf("  box flags=%s caption=\"%s\" text=\"%s\" answered %d\n",
                FormatFlags(b.flags).c_str(), Escaped(b.caption).c_str(),
                Escaped(b.text).c_str(), b.answer);
    if (!b.expected || expected_.empty()) {
      ok = Fail(c, "message box nobody expected (declined)");
      continue;
    }
    ExpectedBox e = expected_.front();
    expected_.pop_front();
    if (!e.checked) continue;
    if (b.flags != e.flags) ok = Fail(c, "box flags " + FormatFlags(b.flags) +
                                             ", expected " + FormatFlags(e.flags));
    if (b.caption != e.caption) ok = Fail(c, "box caption \"" + Escaped(b.caption) +
                                                 "\", expected \"" + Escaped(e.caption) + "\"");
    if (b.text != e.text)
      ok = Fail(c, "box text \"" + Escaped(b.text) + "\", expected \"" + Escaped(e.text) + "\"");
  }
  if (!expected_.empty()) {
    ok = Fail(c, std::to_string(expected_.size()) + " declared message box(es) never shown");
    expected_.clear();
    answerer_.Clear();
    seenBoxes_ = 0;
  }
  return ok;
}

bool Host::Execute(const Command& c) {
  if (c.verb.empty()) return true;
  if (c.verb == "load") {
    if (c.args.size() != 1 || dll_) return Fail(c, "load NAME, before the first call");
    dllName_ = c.args[0];
    return true;
  }
  if (c.verb == "disks") {
    if (c.args.size() != 2) return Fail(c, "disks \"DRIVEFOLDER\" \"STORE\"");
    std::string store = c.args[1];
    if (store.empty() || store.back() != '\\') store += '\\';
    disks_ = std::make_unique<DiskChanger>(c.args[0], store);
    return true;
  }
  if (c.verb == "insert") {
    if (c.args.size() != 1) return Fail(c, "insert N");
    return Insert(c, c.args[0]);
  }
  if (c.verb == "box" || c.verb == "answer") {
    ExpectedBox e;
    e.line = c.line;
    std::string button;
    std::vector<std::string> args = c.args;
    std::string insert;
    if (args.size() >= 2 && args[args.size() - 2] == "insert") {
      insert = args.back();
      args.resize(args.size() - 2);
      if (!disks_) return Fail(c, "no disks declared");
    }
    if (c.verb == "box") {
      if (args.size() != 4) return Fail(c, "box FLAGS \"CAPTION\" \"TEXT\" ANSWER [insert N]");
      e.checked = true;
      e.flags = static_cast<uint32_t>(std::strtoul(args[0].c_str(), nullptr, 0));
      e.caption = args[1];
      e.text = args[2];
      button = args[3];
    } else {
      if (args.size() != 1) return Fail(c, "answer ANSWER [insert N]");
      button = args[0];
    }
    int id = ButtonId(button);
    if (id == 0) return Fail(c, "unknown button " + button);
    if (insert.empty()) {
      answerer_.Answer(id);
    } else {
      answerer_.Answer(id, [this, c, insert] { Insert(c, insert); });
    }
    expected_.push_back(e);
    return true;
  }
  std::string result;
  bool called = c.verb == "exists" || c.verb == "same" ? FileQuery(c, result) : Call(c, result);
  bool boxesOk = CheckBoxes(c);
  if (!called) return false;
  std::printf("%s(", c.verb.c_str());
  for (size_t i = 0; i < c.args.size(); ++i)
    std::printf("%s\"%s\"", i ? ", " : "", Escaped(c.args[i]).c_str());
  std::printf(") = \"%s\"\n", Escaped(result).c_str());
  if (c.hasExpected && result != c.expected)
    return Fail(c, "result \"" + Escaped(result) + "\", expected \"" + Escaped(c.expected) + "\"");
  return boxesOk;
}

int Host::Run(const std::vector<std::string>& lines) {
  int number = 0;
  for (const std::string& line : lines) {
    ++number;
    Command c;
    std::string error;
    if (!ParseLine(line, number, c, error)) {
      std::printf("FAIL line %d: %s: %s\n", number, error.c_str(), line.c_str());
      ++failures_;
      continue;
    }
    Execute(c);
  }
  if (failures_) {
    std::printf("%d check(s) failed\n", failures_);
    return 1;
  }
  std::printf("all %d script line(s) passed\n", number);
  return 0;
}

}  // namespace
}  // namespace kestrel::wintest

int main(int argc, char** argv) {
  std::vector<std::string> lines;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--script" && i + 1 < argc) {
      std::ifstream in(argv[++i], std::ios::binary);
      if (!in) {
        std::printf("FAIL: cannot read script %s\n", argv[i]);
        return 2;
      }
      for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
      }
    } else {
      lines.push_back(arg);
    }
  }
  if (lines.empty()) {
    std::printf("usage: kestrel_host [--script FILE] [LINE ...]\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  kestrel::wintest::Host host;
  return host.Run(lines);
}
