# The programs' manual pages and oakvane-ingest's bash completion, installed with them.
include(GNUInstallDirs)

set(OAKVANE_VERSION ${Oakvane_VERSION})
set(OAKVANE_MAN_PAGES oakvane oakvane-ingest copycard)
foreach(page ${OAKVANE_MAN_PAGES})
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1
                 @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# Where bash-completion looks, taken relative to its own prefix so that the file lands under
# ours (a --prefix ~/.local install must not write to /usr).
set(OAKVANE_COMPLETIONS_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_get_variable(bash_completions bash-completion completionsdir)
  pkg_get_variable(bash_completion_prefix bash-completion prefix)
  if(bash_completions AND bash_completion_prefix)
    string(LENGTH "${bash_completion_prefix}/" prefix_length)
    string(SUBSTRING "${bash_completions}" 0 ${prefix_length} head)
    if(head STREQUAL "${bash_completion_prefix}/")
      string(SUBSTRING "${bash_completions}" ${prefix_length} -1 OAKVANE_COMPLETIONS_DIR)
    endif()
  endif()
endif()
install(FILES completion/oakvane-ingest.bash DESTINATION ${OAKVANE_COMPLETIONS_DIR}
        RENAME oakvane-ingest)
