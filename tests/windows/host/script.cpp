// script.cpp — tokenising the test host's script lines.
#include "host/script.h"

#include <cctype>
#include <cstdlib>

#include <windows.h>

namespace kestrel::wintest {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at line[pos] == '"'; pos ends after the closing quote.
bool Quoted(const std::string& line, size_t& pos, std::string& out, std::string& error) {
  ++pos;
  while (pos < line.size() && line[pos] != '"') {
    char c = line[pos];
    if (c == '\\' && pos + 1 < line.size()) {
      char next = line[pos + 1];
      if (next == '\\' || next == '"') {
        out += next;
        pos += 2;
        continue;
      }
      if (next == 'x' && pos + 3 < line.size() && HexDigit(line[pos + 2]) >= 0 &&
          HexDigit(line[pos + 3]) >= 0) {
        out += static_cast<char>(HexDigit(line[pos + 2]) * 16 + HexDigit(line[pos + 3]));
        pos += 4;
        continue;
      }
    }
    out += c;
    ++pos;
  }
  if (pos >= line.size()) {
    error = "unterminated string";
    return false;
  }
  ++pos;
  return true;
}

}  // namespace

bool ParseLine(const std::string& line, int number, Command& command, std::string& error) {
  command = Command{};
  command.line = number;
  std::vector<std::string> tokens;
  bool afterEquals = false;
  size_t pos = 0;
  while (pos < line.size()) {
    char c = line[pos];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++pos;
      continue;
    }
    if (c == '#' && tokens.empty()) break;
    std::string token;
    if (c == '"') {
      if (!Quoted(line, pos, token, error)) return false;
    } else {
      while (pos < line.size() && !std::isspace(static_cast<unsigned char>(line[pos]))) {
        token += line[pos++];
      }
      if (token == "=") {
        if (afterEquals || tokens.empty()) {
          error = "misplaced '='";
          return false;
        }
        afterEquals = true;
        continue;
      }
    }
    if (afterEquals) {
      if (command.hasExpected) {
        error = "more than one expected result";
        return false;
      }
      command.hasExpected = true;
      command.expected = token;
    } else {
      tokens.push_back(token);
    }
  }
  if (afterEquals && !command.hasExpected) {
    error = "'=' without a result";
    return false;
  }
  if (!tokens.empty()) {
    command.verb = tokens.front();
    command.args.assign(tokens.begin() + 1, tokens.end());
  }
  return true;
}

int ButtonId(const std::string& name) {
  if (name == "ok") return IDOK;
  if (name == "cancel") return IDCANCEL;
  if (name == "yes") return IDYES;
  if (name == "no") return IDNO;
  if (name == "abort") return IDABORT;
  if (name == "retry") return IDRETRY;
  if (name == "ignore") return IDIGNORE;
  char* end = nullptr;
  long id = std::strtol(name.c_str(), &end, 0);
  return (end && *end == '\0' && id > 0 && id < 100) ? static_cast<int>(id) : 0;
}

}  // namespace kestrel::wintest
