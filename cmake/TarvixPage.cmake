# Makes the page: the HTML file PAGE with the program PROGRAM (Emscripten's JavaScript, the
# WebAssembly inlined) in place of the line @TARVIX_PROGRAM@, written to OUTPUT.
# Usage: cmake -DPAGE=... -DPROGRAM=... -DOUTPUT=... -P TarvixPage.cmake
file(READ "${PAGE}" page)
file(READ "${PROGRAM}" program)
string(REGEX MATCH "</script|<!--" closing "${program}")
if(closing)
  message(FATAL_ERROR "${PROGRAM} holds ${closing}, which would end or change the page's script")
endif()
string(REPLACE "@TARVIX_PROGRAM@" "${program}" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
