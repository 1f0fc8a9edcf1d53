oakvane_add_test(eject_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/eject_fixtures.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eject_tables_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eject_mount_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/eject_udisks_test.cpp
  LIBS oakvane-eject oakvane-testsupport)
target_include_directories(eject_tests PRIVATE ${CMAKE_SOURCE_DIR}/app/linux)
target_compile_definitions(eject_tests PRIVATE
  STANDIN_UDISKS2="$<TARGET_FILE:standin-udisks2>")
add_dependencies(eject_tests standin-udisks2)
# Mounting tests wait for busy cards; one waits the full ten seconds of retries. They mount
# and take loop devices, so no other suite that does runs beside them.
set_tests_properties(eject_tests PROPERTIES TIMEOUT 300 RESOURCE_LOCK mounts)
