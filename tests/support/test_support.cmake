# What tests and benchmarks share: the scripted host, temporary folders, wave files made by hand.
# Included from both tests/ and bench/, which are configured independently.
if(NOT TARGET zeltrak_test_support)
  add_library(zeltrak_test_support INTERFACE)
  target_include_directories(zeltrak_test_support INTERFACE ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(zeltrak_test_support INTERFACE zeltrak_platform)
endif()
