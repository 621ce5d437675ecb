# Compresses one file the way `gzip -9n` does, with nothing but CMake, so that building Tarvix
# needs no gzip program:
#
#   cmake -DINPUT=<file> -DOUTPUT=<file>.gz -P TarvixGzip.cmake
#
# The highest level, which Debian asks of manual pages and changelogs, and no time in the gzip
# header, so that the same sources make the same package. CMake leaves that time out whenever
# SOURCE_DATE_EPOCH is set; a raw stream records nothing else that its value could change.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} 0)
endif()
file(ARCHIVE_CREATE OUTPUT "${OUTPUT}" PATHS "${INPUT}"
  FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 9)
