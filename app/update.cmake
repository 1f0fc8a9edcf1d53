# The update check: the compiled-in version, the weekly schedule, the request to the web site.
find_package(Qt6 REQUIRED COMPONENTS Core Network)

add_library(oakvane-update STATIC
  ${CMAKE_CURRENT_LIST_DIR}/update_version.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_schedule.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_request.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_reply.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_check.cpp)
target_include_directories(oakvane-update PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(oakvane-update PUBLIC oakvane-prefs Qt6::Core Qt6::Network)
# The top-level project's version, even if a subproject ever calls project() of its own.
target_compile_definitions(oakvane-update PRIVATE OAKVANE_VERSION="${Oakvane_VERSION}")
