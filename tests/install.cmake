# Installation checks, each a run of install/check.cmake: the installed files
# and the project version in them, the desktop entry and the metainfo file
# against the freedesktop validators, and the Debian package. A check whose
# outside tool is missing prints "SKIPPED:" and counts as skipped, not passed.

foreach(check file-set desktop-entry metainfo deb)
  add_test(NAME install_${check}
    COMMAND ${CMAKE_COMMAND}
      -DCHECK=${check}
      -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DBUILD_DIR=${PROJECT_BINARY_DIR}
      -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/install-check/${check}
      -DVERSION=${PROJECT_VERSION}
      -P ${CMAKE_CURRENT_SOURCE_DIR}/install/check.cmake)
  set_tests_properties(install_${check} PROPERTIES
    LABELS install
    SKIP_REGULAR_EXPRESSION "SKIPPED:"
    TIMEOUT 300)
endforeach()
