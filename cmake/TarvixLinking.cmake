# Hardening and the link mode, decided by what the toolchain can do rather than forced.
#
# Every object of the project is built with the protections Debian gives its packages, each
# where the compiler takes it. Tarvix itself is linked as a static PIE: no shared C++ runtime to
# load and relocate at each of the many runs over a folder of replays, and address
# randomisation kept. Where the toolchain cannot link one with the flags it was given
# (sanitizers, no static libraries, macOS) or TARVIX_STATIC is off, it is linked dynamically,
# and the configure output says so once.
#
# The packager's flags win. They arrive in CMAKE_CXX_FLAGS (CXXFLAGS at the first configure,
# with CPPFLAGS appended by debhelper), CMAKE_EXE_LINKER_FLAGS (LDFLAGS) and the build type's
# own flags. A protection they choose in any form, another level or off, is theirs: ours beside
# it would override their level or, for _FORTIFY_SOURCE, stop a warnings-as-errors build on the
# redefinition. What is left to them is listed once while configuring.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

# WebAssembly keeps return addresses and the call stack out of the memory a program can write,
# and Emscripten's runtime has none of these protections to link: the page is built without.
if(EMSCRIPTEN)
  set(TARVIX_SANITIZED OFF)
  return()
endif()

set(TARVIX_SANITIZED OFF)
if(TARVIX_SANITIZE OR CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
  set(TARVIX_SANITIZED ON)
endif()

string(TOUPPER "${CMAKE_BUILD_TYPE}" tarvix_build_type)
set(tarvix_given_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${tarvix_build_type}}")
set(tarvix_given_link_flags
  "${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS_${tarvix_build_type}}")
set(tarvix_left_to_given_flags)

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(tarvix_flags -fstack-protector-strong -fstack-clash-protection -fcf-protection)
set(tarvix_families stack-protector stack-clash-protection cf-protection)
foreach(flag family IN ZIP_LISTS tarvix_flags tarvix_families)
  if(tarvix_given_flags MATCHES "(^|[ \t])-f(no-)?${family}")
    list(APPEND tarvix_left_to_given_flags ${flag})
    continue()
  endif()
  string(MAKE_C_IDENTIFIER "TARVIX_CXX_HAS${flag}" known)
  check_cxx_compiler_flag(${flag} ${known})
  if(${known})
    target_compile_options(tarvix_settings INTERFACE ${flag})
    target_link_options(tarvix_settings INTERFACE ${flag})  # MinGW links its support library
  endif()
endforeach()
if(tarvix_given_flags MATCHES "-[DU][ \t]*_FORTIFY_SOURCE")  # -Wp,-D_FORTIFY_SOURCE=3 too
  list(APPEND tarvix_left_to_given_flags -D_FORTIFY_SOURCE=2)
elseif(NOT TARVIX_SANITIZED)  # the sanitizers check these calls their own way
  target_compile_definitions(tarvix_settings INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()

if(WIN32)
  set(tarvix_link_flags -static)  # no DLLs beside the executable; PE images randomise by default
else()
  set(tarvix_link_flags)
  set(tarvix_flags -Wl,-z,relro -Wl,-z,now -Wl,-z,pack-relative-relocs)
  set(tarvix_families "(no)?relro" "(now|lazy)" "(no)?pack-relative-relocs")
  foreach(flag family IN ZIP_LISTS tarvix_flags tarvix_families)
    if(tarvix_given_link_flags MATCHES "-z[ \t,]*${family}")
      list(APPEND tarvix_left_to_given_flags ${flag})
    else()
      list(APPEND tarvix_link_flags ${flag})
    endif()
  endforeach()
endif()

if(tarvix_left_to_given_flags)
  list(JOIN tarvix_left_to_given_flags " " tarvix_left)
  message(STATUS "Hardening flags not added, as the flags given choose their own: ${tarvix_left}")
endif()

# Links <target> as the build can and sets TARVIX_STATIC_PIE when that is a static PIE.
function(tarvix_link_options target)
  set(TARVIX_STATIC_PIE OFF PARENT_SCOPE)
  set(dropped)
  foreach(flag IN LISTS tarvix_link_flags)
    # A linker may take a flag it cannot honour with a warning alone: GNU ld for aarch64, armhf,
    # s390x and riscv64 says "warning: -z pack-relative-relocs ignored", words that
    # check_linker_flag's pattern (the whole -Wl,... text) misses. The probe links with
    # --fatal-warnings, so that such a flag is dropped instead of warning at every link.
    string(MAKE_C_IDENTIFIER "TARVIX_LINKER_TAKES${flag}" known)
    check_linker_flag(CXX "-Wl,--fatal-warnings;${flag}" ${known})
    if(${known})
      target_link_options(${target} PRIVATE ${flag})
    else()
      list(APPEND dropped ${flag})
    endif()
  endforeach()
  if(dropped)
    list(JOIN dropped " " dropped)
    message(STATUS "Linker flags not added, as the linker does not take them: ${dropped}")
  endif()
  if(WIN32)
    return()
  endif()
  if(NOT TARVIX_STATIC)
    set(why "TARVIX_STATIC is off")
  elseif(TARVIX_SANITIZED)
    set(why "the sanitizers need the shared runtime")
  else()
    set(CMAKE_REQUIRED_FLAGS -fPIE)
    check_linker_flag(CXX -static-pie TARVIX_LINKER_HAS_STATIC_PIE)
    if(TARVIX_LINKER_HAS_STATIC_PIE)
      target_link_options(${target} PRIVATE -static-pie)
      set(TARVIX_STATIC_PIE ON PARENT_SCOPE)
      return()
    endif()
    set(why "the toolchain cannot link a static PIE")
  endif()
  message(STATUS "Tarvix is linked dynamically: ${why}")
endfunction()
