# Hardening and the link mode, decided by what the toolchain can do rather than forced.
#
# Every object of the project is built with the protections Debian gives its packages, each
# where the compiler takes it. Tarvix itself is linked as a static PIE: no shared C++ runtime to
# load and relocate at each of the many runs over a folder of replays, and address
# randomisation kept. Where the toolchain cannot link one with the flags it was given
# (sanitizers, no static libraries, macOS) or TARVIX_STATIC is off, it is linked dynamically,
# and the configure output says so once.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

set(TARVIX_SANITIZED OFF)
if(TARVIX_SANITIZE OR CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
  set(TARVIX_SANITIZED ON)
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "TARVIX_CXX_HAS${flag}" known)
  check_cxx_compiler_flag(${flag} ${known})
  if(${known})
    target_compile_options(tarvix_settings INTERFACE ${flag})
    target_link_options(tarvix_settings INTERFACE ${flag})  # MinGW links its support library
  endif()
endforeach()
if(NOT TARVIX_SANITIZED)  # the sanitizers check these calls their own way
  target_compile_definitions(tarvix_settings INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()

function(tarvix_link_options target)
  if(WIN32)
    set(candidates -static)  # no DLLs beside the executable; PE images randomise by default
  else()
    set(candidates -Wl,-z,relro -Wl,-z,now -Wl,-z,pack-relative-relocs)
  endif()
  foreach(flag IN LISTS candidates)
    string(MAKE_C_IDENTIFIER "TARVIX_LINKER_HAS${flag}" known)
    check_linker_flag(CXX ${flag} ${known})
    if(${known})
      target_link_options(${target} PRIVATE ${flag})
    endif()
  endforeach()
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
      return()
    endif()
    set(why "the toolchain cannot link a static PIE")
  endif()
  message(STATUS "Tarvix is linked dynamically: ${why}")
endfunction()
