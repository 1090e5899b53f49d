// Parts of the application framework that do not depend on the platform.
#include <exception>
#include <new>

#include "framework/forms.h"
#include "framework/sysutils.h"

TApplication* Application = nullptr;

String ApplicationTitleFromPath(const String& exePath) {
  const size_t slash = exePath.find_last_of(L"\\/:");
  String name = slash == String::npos ? exePath : exePath.substr(slash + 1);
  const size_t dot = name.find(L'.');
  if (dot != String::npos) name.resize(dot);
  if (name.size() <= 1) return name;
  String title(1, name.front());
  title.append(LowerCaseText(name.substr(1)));
  return title;
}

String TApplication::Title() const { return ApplicationTitleFromPath(ModuleFileName()); }

String ErrorReportText(const String& message) {
  if (!message.empty() && message.back() > L'.') return message + L".";
  return message;
}

String ExceptionMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::bad_alloc&) {
    return L"Zu wenig Arbeitsspeicher";
  } catch (const std::exception& e) {
    return Utf8ToString(e.what());
  } catch (...) {
    return L"Unbekannte Ausnahme";
  }
}

void TApplication::HandleException(TObject*) { ShowException(ExceptionMessage(std::current_exception())); }
