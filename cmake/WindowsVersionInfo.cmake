# Version information for the Windows programs: a VERSIONINFO resource in each .exe, so
# that Explorer's Details, the installer's checks and support see which build it is.

# zp_windows_version_info(<target> <description>)
function(zp_windows_version_info target description)
  set(name ${target})  # the programs keep their targets' names
  string(REPLACE "." "," numbers "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(rc ${PROJECT_BINARY_DIR}/version-info/${target}.rc)
  file(CONFIGURE OUTPUT ${rc} CONTENT "// Made by cmake/WindowsVersionInfo.cmake.
#include <winver.h>

VS_VERSION_INFO VERSIONINFO
FILEVERSION ${numbers}
PRODUCTVERSION ${numbers}
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
FILESUBTYPE VFT2_UNKNOWN
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904B0\"
    BEGIN
      VALUE \"CompanyName\", \"Zelvan Probe developers\"
      VALUE \"FileDescription\", \"${description}\"
      VALUE \"FileVersion\", \"${PROJECT_VERSION}\"
      VALUE \"InternalName\", \"${name}\"
      VALUE \"LegalCopyright\", \"See LICENSE.txt\"
      VALUE \"OriginalFilename\", \"${name}.exe\"
      VALUE \"ProductName\", \"Zelvan Probe\"
      VALUE \"ProductVersion\", \"${PROJECT_VERSION}\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1200
  END
END
" @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
