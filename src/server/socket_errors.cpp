#include "server/socket_errors.h"

namespace {

struct ErrorText {
  int number;
  const wchar_t* text;
};

constexpr ErrorText kTexts[] = {
    {socket_errors::kInterrupted, L"Unterbrochener Funktionsaufruf."},
    {socket_errors::kAccessDenied, L"Zugriff verweigert."},
    {socket_errors::kInvalidArgument, L"Ungültiges Argument."},
    {socket_errors::kTooManySockets, L"Zu viele offene Sockets."},
    {socket_errors::kWouldBlock, L"Ressource vorübergehend nicht verfügbar."},
    {socket_errors::kInProgress, L"Ein blockierender Vorgang wird bereits ausgeführt."},
    {socket_errors::kAlreadyInProgress, L"Der Vorgang wird bereits ausgeführt."},
    {socket_errors::kNotASocket, L"Socketvorgang für ein Objekt, das kein Socket ist."},
    {socket_errors::kMessageTooLong, L"Nachricht zu lang."},
    {socket_errors::kFamilyNotSupported, L"Die Adressfamilie wird nicht unterstützt."},
    {socket_errors::kAddressInUse, L"Adresse wird bereits verwendet."},
    {socket_errors::kAddressNotAvailable, L"Die angeforderte Adresse ist nicht verfügbar."},
    {socket_errors::kNetworkDown, L"Netzwerk ist ausgefallen."},
    {socket_errors::kNetworkUnreachable, L"Netzwerk ist nicht erreichbar."},
    {socket_errors::kNetworkReset, L"Netzwerk hat die Verbindung beim Zurücksetzen getrennt."},
    {socket_errors::kConnectionAborted, L"Verbindung durch Software abgebrochen."},
    {socket_errors::kConnectionReset, L"Verbindung von Peer zurückgesetzt."},
    {socket_errors::kNoBufferSpace, L"Kein Pufferspeicher verfügbar."},
    {socket_errors::kAlreadyConnected, L"Socket ist bereits verbunden."},
    {socket_errors::kNotConnected, L"Socket ist nicht verbunden."},
    {socket_errors::kShutDown, L"Senden nach dem Schließen des Sockets nicht möglich."},
    {socket_errors::kTimedOut, L"Zeitüberschreitung bei Verbindung."},
    {socket_errors::kConnectionRefused, L"Verbindung abgelehnt."},
    {socket_errors::kHostDown, L"Host ist nicht in Betrieb."},
    {socket_errors::kHostUnreachable, L"Keine Route zum Host."},
    {socket_errors::kSystemNotReady, L"Das Netzwerksubsystem ist nicht verfügbar."},
    {socket_errors::kNotInitialised, L"Windows Sockets wurde nicht initialisiert."},
    {socket_errors::kTypeNotFound, L"Der angegebene Dienst wurde nicht gefunden."},
    {socket_errors::kHostNotFound, L"Host nicht gefunden."},
    {socket_errors::kTryAgain, L"Host nicht gefunden, der Namensserver antwortet nicht."},
    {socket_errors::kNoRecovery, L"Nicht behebbarer Fehler bei der Namensauflösung."},
    {socket_errors::kNoData, L"Für den Namen ist keine Adresse eingetragen."},
};

}  // namespace

String SocketErrorText(int errorNumber) {
  for (const auto& entry : kTexts) {
    if (entry.number == errorNumber) return entry.text;
  }
  return L"Unbekannter Socket-Fehler.";
}
