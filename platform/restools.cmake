# Readers of the compiled resource formats (dialog template, version
# resource), plain C++ on both targets. Included from platform/CMakeLists.txt.
add_library(rm_restools STATIC
  ${CMAKE_CURRENT_LIST_DIR}/dlgtemplate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/verinfo.cpp)
target_include_directories(rm_restools PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(rm_restools PRIVATE rm_warnings)
