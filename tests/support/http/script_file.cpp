#include "script_file.h"

#include <fstream>
#include <sstream>

namespace testhttp {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ScriptError("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i >= text.size()) throw ScriptError("a backslash ends the text");
    switch (text[i]) {
      case 'r': out.push_back('\r'); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case '0': out.push_back('\0'); break;
      case '\\': out.push_back('\\'); break;
      case '"': out.push_back('"'); break;
      case 'x': {
        const int hi = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) throw ScriptError("\\x needs two hex digits");
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        break;
      }
      default: throw ScriptError(std::string("unknown escape \\") + text[i]);
    }
  }
  return out;
}

std::vector<ConnectionScript> ParseScript(const std::string& text, const std::string& baseDir) {
  std::vector<ConnectionScript> scripts;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const size_t wordEnd = line.find_first_of(" \t", start);
    const std::string word = line.substr(start, wordEnd - start);
    std::string argument;
    if (wordEnd != std::string::npos) {
      // Exactly one blank separates the word from its argument; the rest is the argument.
      argument = line.substr(wordEnd + 1);
    }
    try {
      if (word == "connection") {
        scripts.emplace_back();
        continue;
      }
      if (scripts.empty()) throw ScriptError("a step before the first 'connection'");
      ConnectionScript& s = scripts.back();
      if (word == "expect") {
        s.ExpectRequest();
      } else if (word == "send") {
        s.Send(Unescape(argument));
      } else if (word == "sendfile") {
        const bool absolute = !argument.empty() && (argument[0] == '/' || argument.find(':') == 1);
        s.Send(ReadFile(absolute || baseDir.empty() ? argument : baseDir + "/" + argument));
      } else if (word == "stall") {
        s.Stall(std::stoi(argument));
      } else if (word == "close") {
        s.Close();
      } else if (word == "reset") {
        s.Reset();
      } else {
        throw ScriptError("unknown step '" + word + "'");
      }
    } catch (const std::logic_error&) {
      throw ScriptError("line " + std::to_string(number) + ": bad number");
    } catch (const ScriptError& e) {
      throw ScriptError("line " + std::to_string(number) + ": " + e.what());
    }
  }
  return scripts;
}

}  // namespace testhttp
