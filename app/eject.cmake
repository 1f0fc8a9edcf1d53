# Ejecting a card: the portable command and its Linux implementation (the desktop's disk
# service over D-Bus where it runs, the kernel's unmount and eject calls otherwise).
find_package(Qt6 REQUIRED COMPONENTS Core DBus)

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  message(FATAL_ERROR "oakvane-eject has a Linux implementation only")
endif()

add_library(oakvane-eject STATIC
  ${CMAKE_CURRENT_LIST_DIR}/eject_card.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eject_outcome.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eject_waiting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/udisks_client.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/eject_local.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/eject_mountinfo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/eject_sysfs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/eject_target.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/eject_udisks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/eject_volume.cpp)
target_include_directories(oakvane-eject
  PUBLIC ${CMAKE_CURRENT_LIST_DIR}
  PRIVATE ${CMAKE_CURRENT_LIST_DIR}/linux)
target_link_libraries(oakvane-eject PUBLIC Qt6::Core Qt6::DBus oakvane-mounttable)
