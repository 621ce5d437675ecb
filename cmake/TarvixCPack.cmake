# Read by cpack once for each package it makes, with CPACK_GENERATOR naming that package's kind.

# The same sources make the same packages. CPack gives every entry the time in SOURCE_DATE_EPOCH,
# and leaves the time out of the gzip headers, when the environment has it; without it, the time
# is that of the newest entry of doc/changelog.in (CI checks the two agree). The modes come from
# the install, CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS among them, and not from the umask.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} 1796644800)  # Mon, 07 Dec 2026 12:00:00 +0000
endif()

# The lintian override is for Debian's package checker and has no use on other systems, so it
# sits in an install component of its own that a plain or DESTDIR install leaves out; the .deb
# alone adds that component to the project's install. The .deb's own members take their modes
# from the umask, which TarvixDebModes.cmake undoes.
if(CPACK_GENERATOR STREQUAL "DEB")
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 tarvix_build_dir)
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 1 tarvix_project)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${tarvix_build_dir} ${tarvix_project} debian /)
  list(APPEND CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/TarvixDebModes.cmake)
endif()
