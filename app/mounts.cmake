# The kernel's mount table through libmount: the one reader shared by card detection and eject.
find_package(PkgConfig REQUIRED)
if(NOT TARGET PkgConfig::OAKVANE_LIBMOUNT)
  pkg_check_modules(OAKVANE_LIBMOUNT REQUIRED IMPORTED_TARGET mount)
endif()

add_library(oakvane-mounttable STATIC
  ${CMAKE_CURRENT_LIST_DIR}/linux/mount_table.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/mount_table.cpp)
target_include_directories(oakvane-mounttable PUBLIC ${CMAKE_CURRENT_LIST_DIR}/linux)
target_link_libraries(oakvane-mounttable PRIVATE PkgConfig::OAKVANE_LIBMOUNT)
