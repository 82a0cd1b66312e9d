# SQLite for the Windows build, from Debian's own source package: no other source is
# fetched and nothing is kept in the repository.
#
# At configure time `apt-get source sqlite3` (it needs a deb-src entry, which
# scripts/install-deps.sh adds) unpacks Debian's sources with Debian's patches applied,
# pinned to the version of the host's libsqlite3-dev so that both builds have the same
# SQLite; the sources' own `configure && make sqlite3.c` (it needs tclsh) makes the
# one-file amalgamation. Both are kept in a cache folder (ZP_SQLITE_CACHE, by default
# /var/cache/zelvan-probe when it can be written, else beside the build) and reused, so
# only the first configure pays (about 15 s); the build then compiles sqlite3.c with the
# target's C compiler into the static library SQLite::SQLite3 (about a minute).
#
# ZP_SQLITE_SOURCE names an unpacked tree that already holds sqlite3.c instead.

set(ZP_SQLITE_SOURCE "" CACHE PATH "An unpacked SQLite source tree with sqlite3.c (empty: Debian's source package)")
execute_process(COMMAND sh -c "mkdir -p /var/cache/zelvan-probe && test -w /var/cache/zelvan-probe"
                RESULT_VARIABLE zp_no_shared_cache OUTPUT_QUIET ERROR_QUIET)
if(NOT zp_no_shared_cache)
  set(zp_sqlite_cache_default /var/cache/zelvan-probe)
else()
  set(zp_sqlite_cache_default ${PROJECT_BINARY_DIR}/sqlite-source)
endif()
set(ZP_SQLITE_CACHE ${zp_sqlite_cache_default} CACHE PATH "Where Debian's SQLite sources are unpacked and kept")

function(zp_sqlite_from_debian out_dir)
  execute_process(COMMAND dpkg-query -W -f=\${Version} libsqlite3-dev
                  OUTPUT_VARIABLE version RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR version STREQUAL "")
    set(version "newest")
    set(wanted sqlite3)
  else()
    set(wanted sqlite3=${version})
  endif()
  string(REPLACE ":" "_" folder "sqlite3_${version}")
  set(root ${ZP_SQLITE_CACHE}/${folder})
  file(GLOB trees LIST_DIRECTORIES true ${root}/sqlite3-*)
  if(NOT trees)
    message(STATUS "SQLite for Windows: apt-get source ${wanted} into ${root}")
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    execute_process(COMMAND apt-get source ${wanted} WORKING_DIRECTORY ${root}
                    RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
    file(GLOB trees LIST_DIRECTORIES true ${root}/sqlite3-*)
    if(failed OR NOT trees)
      file(REMOVE_RECURSE ${root})
      message(FATAL_ERROR "apt-get source ${wanted} failed (is there a deb-src entry? run scripts/install-deps.sh):\n${log}")
    endif()
  endif()
  list(GET trees 0 tree)
  if(NOT EXISTS ${tree}/sqlite3.c)
    message(STATUS "SQLite for Windows: making the amalgamation in ${tree}")
    find_program(ZP_TCLSH tclsh)
    if(NOT ZP_TCLSH)
      message(FATAL_ERROR "Making sqlite3.c needs tclsh (package tcl)")
    endif()
    # The host's compiler: configure and the generators run here; only sqlite3.c is kept.
    execute_process(COMMAND sh -c "env -u CC -u CFLAGS ./configure && make sqlite3.c"
                    WORKING_DIRECTORY ${tree} RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
    if(failed OR NOT EXISTS ${tree}/sqlite3.c)
      message(FATAL_ERROR "Making sqlite3.c in ${tree} failed:\n${log}")
    endif()
  endif()
  set(${out_dir} ${tree} PARENT_SCOPE)
endfunction()

if(ZP_SQLITE_SOURCE)
  set(zp_sqlite_tree ${ZP_SQLITE_SOURCE})
else()
  zp_sqlite_from_debian(zp_sqlite_tree)
endif()
if(NOT EXISTS ${zp_sqlite_tree}/sqlite3.c)
  message(FATAL_ERROR "No sqlite3.c in ${zp_sqlite_tree}")
endif()
message(STATUS "SQLite for Windows: ${zp_sqlite_tree}")

enable_language(C)
# Only what this copy needs: no loadable extensions (nothing to load, and no dlopen), and
# SQLite's own thread safety, as the stores share a connection across threads.
add_library(zp_sqlite3 STATIC ${zp_sqlite_tree}/sqlite3.c)
target_compile_definitions(zp_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION=1)
# Someone else's code: its warnings are not ours to fix.
target_compile_options(zp_sqlite3 PRIVATE -w)
target_include_directories(zp_sqlite3 SYSTEM PUBLIC ${zp_sqlite_tree})
add_library(SQLite::SQLite3 ALIAS zp_sqlite3)
# Its licence goes into the ZIP's and the installer's LICENSE.txt.
set(ZP_SQLITE_COPYRIGHT ${zp_sqlite_tree}/debian/copyright CACHE INTERNAL "")
