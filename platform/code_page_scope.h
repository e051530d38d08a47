// code_page_scope.h — the calling thread's code pages while a CodePageScope is open, for the
// backends' AnsiCodePage and OemCodePage (inside the platform layer only).
#pragma once

namespace kestrel::os::detail {

// The open scope's page on this thread, or 0 when no scope is open.
int ScopedAnsiCodePage();
int ScopedOemCodePage();

}  // namespace kestrel::os::detail
