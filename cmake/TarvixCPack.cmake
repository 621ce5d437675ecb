# Read by cpack once for each package it makes, with CPACK_GENERATOR naming that package's kind.
#
# The lintian override is for Debian's package checker and has no use on other systems, so it
# sits in an install component of its own that a plain or DESTDIR install leaves out; the .deb
# alone adds that component to the project's install.
if(CPACK_GENERATOR STREQUAL "DEB")
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 tarvix_build_dir)
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 1 tarvix_project)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${tarvix_build_dir} ${tarvix_project} debian /)
endif()
