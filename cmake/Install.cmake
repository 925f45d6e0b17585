# The installed tool (Linux): RemoteMonitor with the receiver library beside
# it, where its bare-name load finds it first, and the command
# bin/remotemonitor. `cpack -G DEB` packages the same layout.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(RM_INSTALL_TOOL_DIR lib/remotemonitor)
install(TARGETS RemoteMonitor RUNTIME DESTINATION ${RM_INSTALL_TOOL_DIR})
install(TARGETS tavrixrc_rccore LIBRARY DESTINATION ${RM_INSTALL_TOOL_DIR})
# A stripped install is stripped as Debian strips: the toolchain's version
# strings in .comment go as well.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(file $<TARGET_FILE_NAME:RemoteMonitor> $<TARGET_FILE_NAME:tavrixrc_rccore>)
      execute_process(
        COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${RM_INSTALL_TOOL_DIR}/\${file}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")
# The command answers --version from the project's version.
configure_file(${PROJECT_SOURCE_DIR}/cmake/remotemonitor.sh ${CMAKE_BINARY_DIR}/remotemonitor @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/remotemonitor DESTINATION bin)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME remotemonitor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "RemoteMonitor")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tests the infrared remote control of a TV tuner card")
set(CPACK_PACKAGE_DESCRIPTION "RemoteMonitor shows the code of the last key pressed on an infrared remote
control as a decimal code and a 32-bit extended code (an NEC frame), read
from the receivers of the kernel's rc-core (TV tuner cards, USB receivers).
The dialog is a window on the X display, or is drawn in the terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RM_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Our own maintainer scripts: CPack's would run ldconfig for the private
# library, which is on no search path.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst
                                       ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Enabling NEC decoding and checking a receiver's protocols take ir-keytable.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ir-keytable)
include(CPack)

# The package from what it holds: the packaged targets, then CPack. Its
# install builds nothing more where CMAKE_SKIP_INSTALL_ALL_DEPENDENCY is on,
# as in the package preset.
add_custom_target(deb
  COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Making the Debian package"
  VERBATIM)
add_dependencies(deb RemoteMonitor tavrixrc_rccore rm_package_data)
