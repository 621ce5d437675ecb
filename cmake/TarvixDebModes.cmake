# Run by cpack after it has made a .deb (CPACK_POST_BUILD_SCRIPTS, set by TarvixCPack.cmake).
#
# CPack writes the three members of a .deb (debian-binary, control.tar.gz, data.tar.gz) to files
# under the umask and copies each file's mode into the member's ar header, so that a umask of 002
# makes another package, byte for byte, than 022 does. This sets the mode field of each header
# (8 characters, 40 into its 60) to 100644 in place. CMake cannot write bytes into a binary file,
# so dd does.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  file(WRITE "${deb}.mode" "100644  ")
  file(SIZE "${deb}" size)
  set(header_at 8)  # after the archive's "!<arch>\n"
  while(header_at LESS size)
    file(READ "${deb}" header OFFSET ${header_at} LIMIT 60)
    string(SUBSTRING "${header}" 48 10 member_size)
    string(STRIP "${member_size}" member_size)
    math(EXPR mode_at "${header_at} + 40")
    execute_process(COMMAND dd "of=${deb}" bs=1 seek=${mode_at} conv=notrunc status=none
      INPUT_FILE "${deb}.mode" COMMAND_ERROR_IS_FATAL ANY)
    math(EXPR header_at "${header_at} + 60 + ${member_size} + ${member_size} % 2")  # even offsets
  endwhile()
  file(REMOVE "${deb}.mode")
endforeach()
