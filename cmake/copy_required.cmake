# cmake -DSOURCE=FILE -DDEST=FILE -P copy_required.cmake: copies a file that
# must exist, with an error that says how to get it.
if(NOT SOURCE OR NOT EXISTS "${SOURCE}")
  message(FATAL_ERROR "The 64-bit flash.exe was not found (\"${SOURCE}\"): build the windows-x64 "
                      "preset and configure this tree with -DFLASH_WIN64_EXE=build-win64/flash.exe")
endif()
get_filename_component(dir "${DEST}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(COPY_FILE "${SOURCE}" "${DEST}")
