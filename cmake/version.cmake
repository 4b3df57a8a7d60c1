# The program's version, named once. The three seeds are texts the program
# carries as they stand; everything else is derived from them: the release
# number (archives, manual page) from the caption's, the version block's
# numbers from its file version text. src/common/flash_version.h.in hands
# them to the code and the resource; scripts read the generated header.
set(FLASH_CAPTION_VERSION "V1.051")        # in the window caption: " Flash Utility V1.051 "
set(FLASH_FILE_VERSION_TEXT "1.0.5.0")     # the version block's file version
set(FLASH_PRODUCT_VERSION_TEXT "1.0.4.8")  # the version block's product version text
# The application's name: the version block's description, the Windows
# window's title and a plain box's.
set(FLASH_APPLICATION_TITLE "Windows Flash utility")

# V1.051 is release 1.0.51: the major number, then the minor digit, then the rest.
string(REGEX REPLACE "^V([0-9]+)\\.([0-9])([0-9]+)$" "\\1.\\2.\\3" FLASH_RELEASE
                     "${FLASH_CAPTION_VERSION}")
# Both numeric versions of the block are the file version: "1.0.5.0" gives 1,0,5,0.
string(REPLACE "." "," FLASH_NUMERIC_VERSION "${FLASH_FILE_VERSION_TEXT}")
