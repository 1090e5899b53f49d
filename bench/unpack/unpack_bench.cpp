// Unpacks update.zip in the current directory with the updater's own unzip
// component, as the installation stage does, and prints the seconds it took.
//
//   qx_unpack_bench        (run inside the directory that holds update.zip)
#include <chrono>
#include <cstdio>

#include "install/ab_unzipper.h"
#include "install/update_archive.h"

int main() {
  const auto start = std::chrono::steady_clock::now();
  TAbUnZipper unzipper;
  UnpackUpdateArchive(unzipper);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%.3f\n", took.count());
  return 0;
}
