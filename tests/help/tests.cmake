# The programs explain themselves: --help, --version and the manual pages agree; the bash
# completion of oakvane-ingest offers its options and the preference sets.
add_test(NAME programs_help_and_manuals
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/help_test.sh ${Oakvane_VERSION} ${PROJECT_SOURCE_DIR}/docs/man
          $<TARGET_FILE:oakvane> $<TARGET_FILE:oakvane-ingest> $<TARGET_FILE:copycard>)
add_test(NAME ingest_completion
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/completion_test.sh
          ${PROJECT_SOURCE_DIR}/tools/completion/oakvane-ingest.bash $<TARGET_FILE:oakvane-ingest>)
