# The bash completion of oakvane-ingest offers its options and the preference sets.
add_test(NAME ingest_completion
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/completion_test.sh
          ${PROJECT_SOURCE_DIR}/tools/completion/oakvane-ingest.bash $<TARGET_FILE:oakvane-ingest>)
