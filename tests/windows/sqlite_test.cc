// SQLite as the Windows build compiles it: the pinned version, safe for
// connections on many threads. (The engine's use of it, in-memory images
// shared through sqlite3_serialize and sqlite3_deserialize included, is
// tested through QORVEL.dll on real files: tests/server/files_test.cc.)
#include <sqlite3.h>

#include <string>

#include "check.h"

int main() {
  using namespace qorvel::wintest;
  Group("the pinned SQLite");
  CHECK_EQ(std::string(sqlite3_libversion()), std::string(QORVEL_SQLITE_VERSION));
  CHECK_EQ(sqlite3_threadsafe(), 1);
  return Finish();
}
