#pragma once
// Failures of the unzip component when it opens an archive. Single entries
// never raise; they are passed over.
#include "framework/sysutils.h"

class EAbException : public Exception {
 public:
  using Exception::Exception;
};

// No file at the path.
class EAbFileNotFound : public EAbException {
 public:
  explicit EAbFileNotFound(const String& path) : EAbException(L"Datei nicht gefunden: " + path) {}
};

// The file cannot be read, or its size cannot be.
class EAbReadError : public EAbException {
 public:
  explicit EAbReadError(const String& path) : EAbException(L"Archiv kann nicht gelesen werden: " + path) {}
};

// A file of 0 bytes.
class EAbEmptyArchive : public EAbException {
 public:
  explicit EAbEmptyArchive(const String& path) : EAbException(L"Das Archiv ist leer: " + path) {}
};

// No ".zip" extension, or no ZIP end record.
class EAbNoZipArchive : public EAbException {
 public:
  explicit EAbNoZipArchive(const String& path) : EAbException(L"Kein ZIP-Archiv: " + path) {}
};

// The end record names another disk: one part of a split or spanned archive.
class EAbMultiVolumeArchive : public EAbException {
 public:
  explicit EAbMultiVolumeArchive(const String& path)
      : EAbException(L"Mehrteilige ZIP-Archive werden nicht unterstützt: " + path) {}
};

// A central directory that does not fit the file or has a damaged header.
class EAbBadCentralDirectory : public EAbException {
 public:
  explicit EAbBadCentralDirectory(const String& path)
      : EAbException(L"Das Inhaltsverzeichnis des Archivs ist beschädigt: " + path) {}
};
