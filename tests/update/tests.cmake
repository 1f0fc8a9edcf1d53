# The update check against a stand-in web site on 127.0.0.1. A main of its own provides the
# application object the network requests need.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_executable(update_tests
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_rules_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_check_test.cpp)
target_link_libraries(update_tests PRIVATE oakvane-update oakvane-testsupport GTest::gtest)
target_compile_definitions(update_tests PRIVATE
  PYTHON3="${Python3_EXECUTABLE}"
  UPDATE_SERVER="${CMAKE_CURRENT_LIST_DIR}/update_server.py"
  EXPECTED_VERSION="${Oakvane_VERSION}")
add_test(NAME update_tests COMMAND update_tests)
set_tests_properties(update_tests PROPERTIES ENVIRONMENT "TZ=UTC" TIMEOUT 300)
