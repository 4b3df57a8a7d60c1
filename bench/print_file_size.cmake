# Prints a file's size against an aim and a limit; measures only, never fails
# on the size.
#   cmake -DFILE=... -DLABEL=... -DAIM=... -DLIMIT=... -P print_file_size.cmake
file(SIZE "${FILE}" size)
math(EXPR kib "${size} / 1024")
math(EXPR aim_kib "${AIM} / 1024")
math(EXPR limit_kib "${LIMIT} / 1024")
if(size GREATER LIMIT)
  set(verdict "over the limit")
elseif(size GREATER AIM)
  set(verdict "within the limit, over the aim")
else()
  set(verdict "within the aim")
endif()
message("${LABEL}: ${size} bytes (${kib} KiB); aim ${aim_kib} KiB, limit ${limit_kib} KiB: ${verdict}")
