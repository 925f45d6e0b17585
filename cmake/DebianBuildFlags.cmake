# The package's binaries are built as Debian builds its own: with the flags
# dpkg-buildflags gives (fortified functions, stack protector, relro), with
# immediate binding as well. CMake reads no CPPFLAGS, so they are added here.
option(RM_DEBIAN_BUILD_FLAGS "Build with dpkg-buildflags' flags, hardening included" OFF)
if(NOT RM_DEBIAN_BUILD_FLAGS)
  return()
endif()

find_program(RM_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)

function(rm_debian_build_flags name out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${RM_DPKG_BUILDFLAGS} --get ${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE flags
    OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

rm_debian_build_flags(CPPFLAGS RM_DEB_CPPFLAGS)
rm_debian_build_flags(CFLAGS RM_DEB_CFLAGS)
rm_debian_build_flags(CXXFLAGS RM_DEB_CXXFLAGS)
rm_debian_build_flags(LDFLAGS RM_DEB_LDFLAGS)
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${RM_DEB_CPPFLAGS}>" "$<$<COMPILE_LANGUAGE:C>:${RM_DEB_CFLAGS}>"
                    "$<$<COMPILE_LANGUAGE:CXX>:${RM_DEB_CXXFLAGS}>")
add_link_options(${RM_DEB_LDFLAGS})
