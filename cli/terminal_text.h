// terminal_text.h — text from an archive (names, comments, messages that quote them) made
// safe to print: a hostile name must not move the cursor, clear the screen or fake a line.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::cli {

// UTF-8 text with every control character shown instead of sent: C0 controls and DEL in
// caret notation (ESC as ^[, a line feed as ^J, DEL as ^?), C1 controls as \x9b, and bytes
// that are not UTF-8 as \xff. Everything else is kept as it is.
std::string Printable(std::string_view text);

// The same for a comment shown over several lines: line feeds (and CR LF pairs) are kept,
// tabs too.
std::string PrintableLines(std::string_view text);

}  // namespace kestrel::cli
