# SQLite for the Windows builds, under the name the Linux build finds it by
# (SQLite::SQLite3): a static library compiled from SQLite's unmodified
# amalgamation, which scripts/fetch-sqlite.sh provides from its cache
# (fetching and checking the pinned release the first time). Sets
# QORVEL_SQLITE_VERSION to the pinned version. Precondition: a Windows
# build (Debian's libsqlite3 serves every other).
enable_language(C)

set(fetch_sqlite ${PROJECT_SOURCE_DIR}/scripts/fetch-sqlite.sh)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${fetch_sqlite})
file(STRINGS ${fetch_sqlite} QORVEL_SQLITE_VERSION REGEX "^sqlite_version=")
string(REPLACE "sqlite_version=" "" QORVEL_SQLITE_VERSION "${QORVEL_SQLITE_VERSION}")
execute_process(COMMAND bash ${fetch_sqlite} OUTPUT_VARIABLE sqlite_dir
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS "${sqlite_dir}/sqlite3.c")
  message(FATAL_ERROR "fetch-sqlite.sh named no SQLite source: '${sqlite_dir}'")
endif()
message(STATUS "QORVEL: SQLite ${QORVEL_SQLITE_VERSION} from ${sqlite_dir}")

add_library(qorvel_sqlite STATIC ${sqlite_dir}/sqlite3.c)
add_library(SQLite::SQLite3 ALIAS qorvel_sqlite)
# SYSTEM: sqlite3.h is not held to our warnings where our code includes it.
target_include_directories(qorvel_sqlite SYSTEM PUBLIC ${sqlite_dir})
# What the engine relies on (the first two as in Debian's build):
#   THREADSAFE=1        connections on many threads at once (one per thread,
#                       opened without their own mutex) and the worker
#                       threads of PRAGMA threads;
#   MAX_MMAP_SIZE       PRAGMA mmap_size up to 0x7fff0000 on the images (the
#                       upstream default on Windows, stated here);
#   DEFAULT_MEMSTATUS=0 no global memory statistics (the engine turns them
#                       off too): no global lock on every allocation;
#   OMIT_LOAD_EXTENSION nothing loads extensions, so no code that could load
#                       a library into the host.
# sqlite3_serialize and sqlite3_deserialize are in every build since 3.36.
target_compile_definitions(qorvel_sqlite PRIVATE
  SQLITE_THREADSAFE=1 SQLITE_MAX_MMAP_SIZE=0x7fff0000 SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_OMIT_LOAD_EXTENSION)
# Upstream code, compiled as it comes: none of our strict warnings (nor
# -Werror), and no folder of this machine in the objects (SQLite defines
# NDEBUG itself, so no assertion names its file; the maps cover debug
# information), so that the DLL stays reproducible.
set_property(TARGET qorvel_sqlite PROPERTY COMPILE_OPTIONS
  -w -ffile-prefix-map=${sqlite_dir}=sqlite-${QORVEL_SQLITE_VERSION} -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
