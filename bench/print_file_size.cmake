# Prints a file's size against an aim; measures only, never fails on the size.
#   cmake -DFILE=... -DLABEL=... -DAIM=... -P print_file_size.cmake
file(SIZE "${FILE}" size)
math(EXPR kib "${size} / 1024")
if(size GREATER AIM)
  set(verdict "over the aim")
else()
  set(verdict "within the aim")
endif()
message("${LABEL}: ${size} bytes (${kib} KiB); aim at most ${AIM} bytes: ${verdict}")
