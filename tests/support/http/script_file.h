#pragma once
// Reads the script format of qx_test_server (described in qx_test_server.cpp).
#include <stdexcept>
#include <string>
#include <vector>

#include "scripted_server.h"

namespace testhttp {

class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The connection scripts of a script text; baseDir resolves relative
// sendfile paths. Raises ScriptError naming the line.
std::vector<ConnectionScript> ParseScript(const std::string& text, const std::string& baseDir);

// Expands the escapes \r \n \t \0 \\ \" \xHH.
std::string Unescape(const std::string& text);

}  // namespace testhttp
