#include "server/exceptions.h"

#include <utility>

#include "server/socket_errors.h"

EIdSocketError::EIdSocketError(int lastError)
    : EIdException(L"Socket-Fehler # " + std::to_wstring(lastError) + L"\r\n" + SocketErrorText(lastError)),
      lastError_(lastError) {}

EIdConnClosedGracefully::EIdConnClosedGracefully()
    : EIdException(L"Die Verbindung wurde erfolgreich geschlossen.") {}

EIdHTTPProtocolException::EIdHTTPProtocolException(String statusLine, int errorCode, String errorMessage)
    : EIdException(std::move(statusLine)), ErrorCode(errorCode), ErrorMessage(std::move(errorMessage)) {}
