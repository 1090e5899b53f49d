#pragma once
// The two resources of the update host: the newest version text and the
// update archive of a version, both in the update location's folder.
#include "framework/classes.h"
#include "framework/text.h"
#include "server/idhttp.h"

// Where the update host keeps its resources: the addresses of the newest
// version text and, in two pieces, of an update archive.
struct TUpdateLocation {
  String NewestVersionAddress;  // "http://host/qx/newest"
  String ArchivePrefix;         // "http://host/qx/"
  String ArchiveSuffix;         // "/update.zip"
};

// The update location the program was built with.
TUpdateLocation UpdateLocation();
// The same resources in the folder `folder` ("http://host[:port]/qx/").
TUpdateLocation UpdateLocationAt(const String& folder);

// The body of "newest", taken whole as text: nothing is trimmed.
String FetchNewestVersion(TIdHTTP& http);
String FetchNewestVersion(TIdHTTP& http, const TUpdateLocation& location);

// The update archive of the version versionText (set unchanged between the
// prefix and the suffix), written into target as it arrives.
void DownloadUpdateArchive(TIdHTTP& http, const String& versionText, TStream& target);
void DownloadUpdateArchive(TIdHTTP& http, const String& versionText, TStream& target,
                           const TUpdateLocation& location);
