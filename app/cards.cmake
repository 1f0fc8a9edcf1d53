# Card detection: the volume list, the card decision and the detector that follows the mount
# table. The volume list and the monitor are Linux code behind small interfaces of our own.
find_package(PkgConfig REQUIRED)
if(NOT TARGET PkgConfig::OAKVANE_LIBMOUNT)
  pkg_check_modules(OAKVANE_LIBMOUNT REQUIRED IMPORTED_TARGET mount)
endif()
if(NOT TARGET PkgConfig::OAKVANE_LIBBLKID)
  pkg_check_modules(OAKVANE_LIBBLKID REQUIRED IMPORTED_TARGET blkid)
endif()

add_library(oakvane-cards STATIC
  ${CMAKE_CURRENT_LIST_DIR}/volumes.h
  ${CMAKE_CURRENT_LIST_DIR}/card_scan.h
  ${CMAKE_CURRENT_LIST_DIR}/card_scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mount_monitor.h
  ${CMAKE_CURRENT_LIST_DIR}/card_detector.h
  ${CMAKE_CURRENT_LIST_DIR}/card_detector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/volumes_linux.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/volumes_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/volume_label.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/volume_label_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/mount_monitor_linux.cpp)
set_target_properties(oakvane-cards PROPERTIES AUTOMOC ON)
target_include_directories(oakvane-cards PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(oakvane-cards
  PUBLIC oakvane-appcore Qt6::Core
  PRIVATE oakvane-mounttable PkgConfig::OAKVANE_LIBMOUNT PkgConfig::OAKVANE_LIBBLKID)
