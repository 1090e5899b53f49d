#include <climits>

#include "framework/win32/win32_api.h"
#include "install/oem_code_page.h"

namespace install {

String OemCodePageToString(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) return String();
  const int inLength = static_cast<int>(bytes.size());
  const int outLength = ::MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), inLength, nullptr, 0);
  if (outLength <= 0) return String();
  String out(static_cast<size_t>(outLength), L'\0');
  ::MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), inLength, out.data(), outLength);
  return out;
}

}  // namespace install
