# Keeps operating-system interfaces inside src/platform/.
#
# ktu_scan_system_includes(<source dir> <out files>) scans src/ (except
# src/platform/) and include/ktutil/ for an #include of a system interface
# header and fails naming each file and header. <out files> receives the
# files scanned. Run as a script (cmake -DKTU_SOURCE_DIR=<dir> -P this file)
# it does the same scan, for the build-time re-check after edits.
#
# The C and C++ standard libraries stay allowed (<cstdio>, <cerrno>,
# <clocale>, <cstdlib>...), except <ctime>/<time.h>: the clocks belong to
# platform/clock.h.

set(KTU_SYSTEM_HEADERS
  "unistd\\.h" "sys/[^>]*" "linux/[^>]*" "pthread\\.h" "signal\\.h" "csignal" "fcntl\\.h"
  "dirent\\.h" "dlfcn\\.h" "link\\.h" "sched\\.h" "time\\.h" "ctime" "spawn\\.h" "poll\\.h"
  "semaphore\\.h" "ucontext\\.h" "pwd\\.h" "fnmatch\\.h" "sqlite3\\.h")

function(ktu_scan_system_includes source_dir out)
  list(JOIN KTU_SYSTEM_HEADERS "|" alternatives)
  set(pattern "^[ \t]*#[ \t]*include[ \t]*<(${alternatives})>")
  # A new file re-runs the configure step, which scans it.
  set(watch "")
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    set(watch CONFIGURE_DEPENDS)
  endif()
  file(GLOB_RECURSE files ${watch} ${source_dir}/src/*.cpp ${source_dir}/src/*.h
    ${source_dir}/include/ktutil/*.h)
  list(FILTER files EXCLUDE REGEX "^${source_dir}/src/platform/")
  set(offences "")
  foreach(path IN LISTS files)
    file(STRINGS ${path} lines REGEX "${pattern}")
    foreach(line IN LISTS lines)
      string(REGEX MATCH "<[^>]*>" header "${line}")
      file(RELATIVE_PATH shown ${source_dir} ${path})
      string(APPEND offences
        "\n  ${shown} includes ${header}: system interfaces belong in src/platform/")
    endforeach()
  endforeach()
  if(offences)
    message(FATAL_ERROR "Operating-system headers outside the platform layer:${offences}\n"
      "Call a service of src/platform/*.h instead, or add one there (its Linux "
      "implementation in src/platform/linux/); docs/platform.md lists the services.")
  endif()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND KTU_SOURCE_DIR)
  ktu_scan_system_includes(${KTU_SOURCE_DIR} ignored)
endif()
