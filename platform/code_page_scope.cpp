// code_page_scope.cpp — per-thread code pages that override the process-wide ones for the
// length of a call (CodePageScope), so that two callers on two threads never meet.
#include "platform/code_page_scope.h"

#include "platform/platform.h"

namespace kestrel::os {

namespace {
thread_local int scopedAnsi = 0;  // 0: no scope open on this thread
thread_local int scopedOem = 0;
}  // namespace

namespace detail {
int ScopedAnsiCodePage() { return scopedAnsi; }
int ScopedOemCodePage() { return scopedOem; }
}  // namespace detail

CodePageScope::CodePageScope(int ansi, int oem) : savedAnsi_(scopedAnsi), savedOem_(scopedOem) {
  scopedAnsi = ansi;
  scopedOem = oem;
}

CodePageScope::~CodePageScope() {
  scopedAnsi = savedAnsi_;
  scopedOem = savedOem_;
}

}  // namespace kestrel::os
