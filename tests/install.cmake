# Installation checks, each a run of install/check.cmake: the installed file
# set and its consistency, the desktop entry and the metainfo file against the
# freedesktop validators, the Debian package, and the Windows resources. A check whose outside tool
# is missing prints "SKIPPED:" and counts as skipped, not passed.

set(tarvelin_install_check ${CMAKE_CURRENT_SOURCE_DIR}/install/check.cmake)
set(tarvelin_install_work ${CMAKE_CURRENT_BINARY_DIR}/install-check)

foreach(check file-set desktop-entry metainfo deb windows-resources)
  add_test(NAME install_${check}
    COMMAND ${CMAKE_COMMAND}
      -DCHECK=${check}
      -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DBUILD_DIR=${PROJECT_BINARY_DIR}
      -DWORK_DIR=${tarvelin_install_work}/${check}
      -DVERSION=${PROJECT_VERSION}
      -DHOMEPAGE=${TARVELIN_HOMEPAGE}
      -P ${tarvelin_install_check})
  set_tests_properties(install_${check} PROPERTIES
    LABELS install
    SKIP_REGULAR_EXPRESSION "SKIPPED:"
    TIMEOUT 300)
endforeach()
