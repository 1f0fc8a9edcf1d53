# Card detection: the decision, the Linux volume list, the detector over fakes, and the
# detector on real mounts (those tests skip where this process may not mount).
oakvane_add_test(cards_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/card_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/card_scan_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/card_detector_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/volumes_linux_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/real_mounts_test.cpp
  LIBS oakvane-cards oakvane-testsupport)
# The real-mount tests wait up to 20 s for each kernel event on a loaded machine. They mount
# and take loop devices, so no other suite that does runs beside them.
set_tests_properties(cards_tests PROPERTIES TIMEOUT 300 RESOURCE_LOCK mounts)
