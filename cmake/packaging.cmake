# Installation and the release archives.
#
# `cmake --install` puts the Linux program in sbin (it needs root to reach a
# drive) with its manual page and the sample description file as
# documentation. The archives are flat instead: a user unpacks one and runs
# the builder where it lies, and the builder reads the description file
# beside itself. So the `flash_archive` target stages that flat tree and
# hands it to CPack as it stands, rather than reusing the install layout.
set(FLASH_PACKAGE_NAME atapi-flash)
set(FLASH_STAGE_DIR ${PROJECT_BINARY_DIR}/archive-stage)

configure_file(${PROJECT_SOURCE_DIR}/docs/flash.8 ${PROJECT_BINARY_DIR}/flash.8 @ONLY)

if(NOT WIN32)
  include(GNUInstallDirs)
  install(TARGETS flash RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
  install(FILES ${PROJECT_BINARY_DIR}/flash.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
  install(FILES ${PROJECT_SOURCE_DIR}/samples/flash.INI
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

if(WIN32)
  # One archive for every Windows: the 32-bit program runs on all of them,
  # the 64-bit one (built in its own tree) goes in its own folder.
  set(FLASH_WIN64_EXE "" CACHE FILEPATH "The 64-bit flash.exe for the Windows archive")
  set(archive_name ${FLASH_PACKAGE_NAME}-${PROJECT_VERSION}-windows)
  set(generator ZIP)
  # Notepad of the older systems shows LF-only files as one long line.
  configure_file(${PROJECT_SOURCE_DIR}/samples/flash.INI ${FLASH_STAGE_DIR}/flash.INI @ONLY
                 NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt.in
                 ${FLASH_STAGE_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  set(stage_program
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:flash> ${FLASH_STAGE_DIR}/flash.exe
      COMMAND ${CMAKE_COMMAND} -DSOURCE=${FLASH_WIN64_EXE} -DDEST=${FLASH_STAGE_DIR}/x64/flash.exe
              -P ${PROJECT_SOURCE_DIR}/cmake/copy_required.cmake)
else()
  set(archive_name
      ${FLASH_PACKAGE_NAME}-${PROJECT_VERSION}-linux-${CMAKE_HOST_SYSTEM_PROCESSOR})
  set(generator TGZ)
  configure_file(${PROJECT_SOURCE_DIR}/samples/flash.INI ${FLASH_STAGE_DIR}/flash.INI COPYONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-linux.in ${FLASH_STAGE_DIR}/README @ONLY)
  configure_file(${PROJECT_BINARY_DIR}/flash.8 ${FLASH_STAGE_DIR}/flash.8 COPYONLY)
  set(stage_program COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:flash>
                            ${FLASH_STAGE_DIR}/flash)
  if(CMAKE_STRIP)
    list(APPEND stage_program COMMAND ${CMAKE_STRIP} ${FLASH_STAGE_DIR}/flash)
  endif()
endif()

set(CPACK_GENERATOR ${generator})
set(CPACK_PACKAGE_NAME ${FLASH_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${archive_name})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/archives)
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALLED_DIRECTORIES "${FLASH_STAGE_DIR};.")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_OUTPUT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackArchiveConfig.cmake)
include(CPack)

add_custom_target(flash_archive
  ${stage_program}
  COMMAND cpack --config ${CPACK_OUTPUT_CONFIG_FILE}
  DEPENDS flash
  COMMENT "Packing archives/${archive_name}"
  VERBATIM)
