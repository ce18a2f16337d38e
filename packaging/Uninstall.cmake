# Removes the files a `cmake --install` recorded in its manifest, and nothing
# else: directories stay, since others may share them (share/man/man1, ...).
# The manifest holds the paths below the prefix without DESTDIR; `make install`
# writes the DESTDIR it used into DESTDIR_FILE, so the files are found where
# they went.
# Usage: cmake -DMANIFEST=build/install_manifest.txt
#              [-DDESTDIR_FILE=build/install_destdir.txt] -P packaging/Uninstall.cmake
if(NOT DEFINED MANIFEST OR NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "No install manifest at \"${MANIFEST}\": nothing was installed from this build")
endif()

set(destdir "$ENV{DESTDIR}")
if(DEFINED DESTDIR_FILE AND EXISTS "${DESTDIR_FILE}")
  file(STRINGS "${DESTDIR_FILE}" recorded LIMIT_COUNT 1)
  set(destdir "${recorded}")
endif()

file(STRINGS "${MANIFEST}" installed)
set(removed 0)
foreach(file IN LISTS installed)
  set(path "${destdir}${file}")
  if(IS_SYMLINK "${path}" OR EXISTS "${path}")
    file(REMOVE "${path}")
    if(IS_SYMLINK "${path}" OR EXISTS "${path}")
      message(FATAL_ERROR "Cannot remove ${path}")
    endif()
    message(STATUS "Removed ${path}")
    math(EXPR removed "${removed} + 1")
  endif()
endforeach()
file(REMOVE "${MANIFEST}")
if(DEFINED DESTDIR_FILE)
  file(REMOVE "${DESTDIR_FILE}")
endif()
message(STATUS "Uninstalled ${removed} files")
