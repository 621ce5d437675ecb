# The .deb of a cross build is for the target, not for the host that dpkg would name.
#
# Its Debian architecture comes from the target's multiarch tuple (CMAKE_LIBRARY_ARCHITECTURE,
# which CMake reads from the compiler) or, where the toolchain has none, from its processor.
# Where neither tells (an ARM processor alone may be armhf or armel), no .deb is made rather than
# one with a wrong label. dpkg-shlibdeps knows only the host's libraries and would stop a cross
# cpack, so a cross build does without it: a static PIE needs no other package, and a dynamically
# linked Tarvix depends on the C and C++ runtimes, without versions. A native build leaves the
# architecture and the dependencies to CPack, which asks dpkg.
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()
set(tarvix_target ${CMAKE_LIBRARY_ARCHITECTURE})
if(NOT tarvix_target)
  set(tarvix_target ${CMAKE_SYSTEM_PROCESSOR})
endif()
foreach(entry  # the architecture, then the tuples and processors it stands for
    "amd64:x86_64-linux-gnu|x86_64|amd64|AMD64"
    "i386:i386-linux-gnu|i[3-6]86|x86"
    "arm64:aarch64-linux-gnu|aarch64|arm64"
    "armhf:arm-linux-gnueabihf"
    "armel:arm-linux-gnueabi"
    "ppc64el:powerpc64le-linux-gnu|ppc64le"
    "riscv64:riscv64-linux-gnu|riscv64"
    "s390x:s390x-linux-gnu|s390x"
    "loong64:loongarch64-linux-gnu|loongarch64"
    "mips64el:mips64el-linux-gnuabi64")
  string(REGEX MATCH "^([^:]+):(.*)$" entry "${entry}")
  set(arch ${CMAKE_MATCH_1})
  if(tarvix_target MATCHES "^(${CMAKE_MATCH_2})$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${arch})
    break()
  endif()
endforeach()
if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  list(REMOVE_ITEM CPACK_GENERATOR DEB)
  message(STATUS "No .deb: no Debian architecture is known for ${tarvix_target}")
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
if(NOT TARVIX_STATIC_PIE)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()
