# The Windows programs as one ZIP: the programs at its top with a README and the
# licences of everything built into them. Nothing to install; unpack and run.
set(ZP_PROGRAMS zelvan-probe-cli zelvan-gateway-sim)
if(TARGET zelvan-probe)
  list(APPEND ZP_PROGRAMS zelvan-probe)
endif()
install(TARGETS ${ZP_PROGRAMS} RUNTIME DESTINATION .)
install(FILES windows/README.txt DESTINATION .)

# The programs are linked statically: the licences of the runtime, the thread library
# and the header-only libraries travel with them.
set(licence ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/windows/LICENSE-head.txt text)
foreach(part
    "the C++ runtime (GCC)|/usr/share/doc/gcc-mingw-w64-base/copyright"
    "the Windows runtime and thread library (mingw-w64)|/usr/share/doc/mingw-w64-common/copyright"
    "command-line parsing (CLI11)|/usr/share/doc/libcli11-dev/copyright"
    "JSON (nlohmann/json)|/usr/share/doc/nlohmann-json3-dev/copyright")
  string(REPLACE "|" ";" fields "${part}")
  list(GET fields 0 what)
  list(GET fields 1 file)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "The licence of ${what} is not at ${file}")
  endif()
  file(READ ${file} body)
  string(APPEND text "\n\n======================================================================\n"
                     "Built in: ${what}\n"
                     "======================================================================\n\n${body}")
endforeach()
file(WRITE ${licence} "${text}")
install(FILES ${licence} DESTINATION .)

set(CPACK_GENERATOR "ZIP")
set(CPACK_PACKAGE_NAME "zelvan-probe")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Zelvan Probe developers")
set(CPACK_PACKAGE_FILE_NAME "zelvan-probe-${PROJECT_VERSION}-windows-x64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
