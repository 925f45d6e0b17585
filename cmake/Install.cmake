# The installed tool (Linux): RemoteMonitor with the receiver library beside
# it, where its bare-name load finds it first, and the command
# bin/remotemonitor. `cpack -G DEB` packages the same layout.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(RM_INSTALL_TOOL_DIR lib/remotemonitor)
install(TARGETS RemoteMonitor RUNTIME DESTINATION ${RM_INSTALL_TOOL_DIR})
install(TARGETS tavrixrc_rccore LIBRARY DESTINATION ${RM_INSTALL_TOOL_DIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/cmake/remotemonitor.sh DESTINATION bin RENAME remotemonitor)

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
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "RemoteMonitor developers <remotemonitor@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Enabling NEC decoding and checking a receiver's protocols take ir-keytable.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ir-keytable)
include(CPack)
