# The Windows programs for people: an MSI installer (target `msi`, made with wixl) and a
# ZIP for those who don't install (cpack). Both hold the same files; text files end their
# lines in CR LF, as Windows' own programs expect.
set(ZP_PROGRAMS zelvan-probe-cli zelvan-gateway-sim)
if(TARGET zelvan-probe)
  list(APPEND ZP_PROGRAMS zelvan-probe)
endif()
zp_windows_version_info(zelvan-probe-cli "Zelvan Probe console runner")
zp_windows_version_info(zelvan-gateway-sim "Zelvan Probe simulated gateway")
if(TARGET zelvan-probe)
  zp_windows_version_info(zelvan-probe "Zelvan Probe")
endif()

# Text with CR LF line ends, written at configure time (only when it changed, so that
# the packages are not made again for nothing).
function(zp_crlf_text output text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  if(EXISTS ${output})
    file(READ ${output} before)
    if(before STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${output} "${text}")
endfunction()

set(stage ${CMAKE_CURRENT_BINARY_DIR}/windows-files)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/windows/README.txt readme)
zp_crlf_text(${stage}/README.txt "${readme}")
file(READ ${PROJECT_SOURCE_DIR}/docs/monitoring.md monitoring)
zp_crlf_text(${stage}/monitoring.md "${monitoring}")
# The task definition as Task Scheduler writes its own: UTF-16 (little-endian) with a
# byte-order mark, which `schtasks /create /xml` is known to want, and CR LF.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/windows/zelvan-probe-task.xml task)
string(ASCII 239 187 191 utf8_bom)
zp_crlf_text(${CMAKE_CURRENT_BINARY_DIR}/zelvan-probe-task.utf8.xml "${utf8_bom}${task}")
execute_process(COMMAND iconv -f UTF-8 -t UTF-16LE INPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/zelvan-probe-task.utf8.xml
                OUTPUT_FILE ${stage}/zelvan-probe-task.xml.new RESULT_VARIABLE converted)
if(NOT converted EQUAL 0)
  message(FATAL_ERROR "iconv could not write the task definition in UTF-16")
endif()
file(COPY_FILE ${stage}/zelvan-probe-task.xml.new ${stage}/zelvan-probe-task.xml ONLY_IF_DIFFERENT)
file(REMOVE ${stage}/zelvan-probe-task.xml.new)
foreach(schema zelvan-probe-cli zelvan-probe-cli-history)
  configure_file(schema/${schema}.schema.json ${stage}/${schema}.schema.json COPYONLY)
endforeach()

# The programs are linked statically: the licences of the runtime, the thread library,
# SQLite and the header-only libraries travel with them.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/windows/LICENSE-head.txt text)
set(parts
    "the C++ runtime (GCC)|/usr/share/doc/gcc-mingw-w64-base/copyright"
    "the Windows runtime and thread library (mingw-w64)|/usr/share/doc/mingw-w64-common/copyright"
    "command-line parsing (CLI11)|/usr/share/doc/libcli11-dev/copyright"
    "JSON (nlohmann/json)|/usr/share/doc/nlohmann-json3-dev/copyright")
if(ZP_SQLITE_COPYRIGHT)
  list(APPEND parts "the run history's database (SQLite, from Debian's source package)|${ZP_SQLITE_COPYRIGHT}")
endif()
foreach(part ${parts})
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
zp_crlf_text(${stage}/LICENSE.txt "${text}")

install(TARGETS ${ZP_PROGRAMS} RUNTIME DESTINATION .)
install(FILES ${stage}/README.txt ${stage}/LICENSE.txt ${stage}/monitoring.md ${stage}/zelvan-probe-task.xml
        DESTINATION .)
install(FILES ${stage}/zelvan-probe-cli.schema.json ${stage}/zelvan-probe-cli-history.schema.json DESTINATION schema)

set(CPACK_GENERATOR "ZIP")
set(CPACK_PACKAGE_NAME "zelvan-probe")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Zelvan Probe developers")
set(CPACK_PACKAGE_FILE_NAME "zelvan-probe-${PROJECT_VERSION}-windows-x64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The installer: the programs stripped beside the texts, then wixl. The window is needed.
find_program(ZP_WIXL wixl)
if(TARGET zelvan-probe AND ZP_WIXL)
  set(ZP_MSI_VERSION ${PROJECT_VERSION})
  # wixl takes the files by their names, from the folder it runs in: all of them are there.
  configure_file(${PROJECT_SOURCE_DIR}/src/winapp/zelvan-probe.ico ${stage}/zelvan-probe.ico COPYONLY)
  configure_file(windows/zelvan-probe.wxs.in ${stage}/zelvan-probe.wxs @ONLY)
  set(msi ${PROJECT_BINARY_DIR}/zelvan-probe-${PROJECT_VERSION}-windows-x64.msi)
  set(strip_commands)
  foreach(program ${ZP_PROGRAMS})
    list(APPEND strip_commands COMMAND ${CMAKE_STRIP} -o ${stage}/${program}.exe $<TARGET_FILE:${program}>)
  endforeach()
  set(file_version "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  add_custom_command(OUTPUT ${msi} ${strip_commands}
                     COMMAND ${ZP_WIXL} -a x64 -o ${msi}.new zelvan-probe.wxs
                     COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/windows/msi-amend.sh ${msi}.new ${file_version}
                     COMMAND ${CMAKE_COMMAND} -E rename ${msi}.new ${msi}
                     WORKING_DIRECTORY ${stage}
                     DEPENDS ${ZP_PROGRAMS} ${stage}/zelvan-probe.wxs ${stage}/zelvan-probe.ico ${stage}/README.txt
                             ${CMAKE_CURRENT_SOURCE_DIR}/windows/msi-amend.sh
                             ${stage}/LICENSE.txt ${stage}/monitoring.md ${stage}/zelvan-probe-task.xml
                     COMMENT "Making the installer ${msi}" VERBATIM)
  add_custom_target(msi DEPENDS ${msi})
endif()
