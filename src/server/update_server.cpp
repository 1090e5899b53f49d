#include "server/update_server.h"

#ifndef QX_UPDATE_LOCATION
#error "QX_UPDATE_LOCATION (the update location's folder) is set by the build"
#endif

TUpdateLocation UpdateLocationAt(const String& folder) {
  return TUpdateLocation{folder + L"newest", folder, L"/update.zip"};
}

TUpdateLocation UpdateLocation() { return UpdateLocationAt(L"" QX_UPDATE_LOCATION); }

String FetchNewestVersion(TIdHTTP& http) { return FetchNewestVersion(http, UpdateLocation()); }

String FetchNewestVersion(TIdHTTP& http, const TUpdateLocation& location) {
  return http.Get(location.NewestVersionAddress);
}

void DownloadUpdateArchive(TIdHTTP& http, const String& versionText, TStream& target) {
  DownloadUpdateArchive(http, versionText, target, UpdateLocation());
}

void DownloadUpdateArchive(TIdHTTP& http, const String& versionText, TStream& target,
                           const TUpdateLocation& location) {
  http.Get(location.ArchivePrefix + versionText + location.ArchiveSuffix, target);
}
