# A stand-in for the desktop's disk service on a private bus, used by the eject tests.
find_package(Qt6 REQUIRED COMPONENTS Core DBus)
add_executable(standin-udisks2 ${CMAKE_CURRENT_LIST_DIR}/standin_udisks2.cpp)
target_link_libraries(standin-udisks2 PRIVATE Qt6::Core Qt6::DBus)
