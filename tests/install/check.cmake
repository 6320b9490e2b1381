# One installation check, chosen by CHECK; run with cmake -P by install.cmake.
# Inputs: CHECK, SOURCE_DIR, BUILD_DIR, WORK_DIR, VERSION.

cmake_minimum_required(VERSION 3.25)

set(app_id io.github.quorrin.tarvelin)

function(fail text)
  set(failures "${failures}\n  ${text}" PARENT_SCOPE)
endfunction()

# Runs a command; fails the check with its output when it does not succeed.
function(run_or_fail what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}${err}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc})")
  endif()
endfunction()

function(expect_version where text regex)
  if(NOT text MATCHES "${regex}" OR NOT CMAKE_MATCH_1 STREQUAL VERSION)
    set(failures "${failures}\n  ${where} gives the version '${CMAKE_MATCH_1}', not '${VERSION}'" PARENT_SCOPE)
  endif()
endfunction()

# A check whose outside tool is missing counts as skipped, not passed.
macro(need)
  foreach(tool ${ARGN})
    find_program(found_${tool} ${tool})
    if(NOT found_${tool})
      message("SKIPPED: ${tool} not installed")
      return()
    endif()
  endforeach()
endmacro()

if(CHECK STREQUAL "file-set")
  set(root ${WORK_DIR}/root)
  file(REMOVE_RECURSE ${root})
  set(ENV{DESTDIR} ${root})
  run_or_fail("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr)
  # The desktop entry names the installed program and icon.
  file(STRINGS ${root}/usr/share/applications/${app_id}.desktop entry REGEX "^(Exec|Icon)=")
  string(REGEX REPLACE "Exec=([^ ;]*)[^;]*;Icon=([^;]*)" "bin/\\1;share/icons/hicolor/scalable/apps/\\2.svg" named "${entry}")
  foreach(file ${named} share/applications/${app_id}.desktop share/metainfo/${app_id}.metainfo.xml
               share/man/man1/tarvelin.1.gz share/doc/tarvelin/copyright share/doc/tarvelin/changelog.gz
               share/icons/hicolor/48x48/apps/tarvelin.png)
    if(NOT EXISTS ${root}/usr/${file})
      fail("not installed: /usr/${file}")
    endif()
  endforeach()

  # The project version reaches the metainfo release, the Windows version
  # record and the manual page's header.
  file(READ ${root}/usr/share/metainfo/${app_id}.metainfo.xml metainfo)
  expect_version(metainfo "${metainfo}" "<release version=\"([^\"]*)\"")
  file(READ ${BUILD_DIR}/src/app/tarvelin.rc rc)
  string(REPLACE "," "." rc "${rc}") # FILEVERSION 1,0,0 reads as 1.0.0
  foreach(key FILEVERSION PRODUCTVERSION FileVersion ProductVersion)
    expect_version("tarvelin.rc ${key}" "${rc}" "${key}\"?\\.? \"?([0-9.]+)")
  endforeach()
  file(READ ${BUILD_DIR}/packaging/tarvelin.1 man)
  expect_version("manual page header" "${man}" "\"Tarvelin ([^\"]*)\"")

elseif(CHECK STREQUAL "desktop-entry")
  need(desktop-file-validate)
  # The validator fails only on errors; a clean entry prints nothing at all.
  execute_process(COMMAND ${found_desktop-file-validate} ${SOURCE_DIR}/packaging/linux/${app_id}.desktop
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
    fail("desktop-file-validate (${rc}):\n${out}${err}")
  endif()

elseif(CHECK STREQUAL "metainfo")
  need(appstreamcli)
  # Pedantic: fail on warnings and info notes too, not only on errors.
  run_or_fail("appstreamcli validate" ${found_appstreamcli} validate --no-net --pedantic
              ${BUILD_DIR}/packaging/${app_id}.metainfo.xml)

elseif(CHECK STREQUAL "deb")
  need(dpkg-deb dpkg-shlibdeps lintian)
  file(REMOVE_RECURSE ${WORK_DIR})
  run_or_fail("cpack" ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${WORK_DIR})
  file(GLOB deb ${WORK_DIR}/tarvelin_${VERSION}_*.deb)
  if(NOT deb)
    message(FATAL_ERROR "cpack made no tarvelin_${VERSION}_*.deb")
  endif()
  # What a bare Debian 12 lacks: the linked libraries, and what Qt loads at
  # run time: the window-system plugin and its own Chinese translations.
  execute_process(COMMAND ${found_dpkg-deb} --field ${deb} Depends OUTPUT_VARIABLE depends)
  foreach(dep libmpv2 libqt6core6 libqt6gui6 libqt6widgets6 libtag1v5 libuchardet0
              qt6-qpa-plugins qt6-translations-l10n)
    if(NOT depends MATCHES "(^|[ ,])${dep}[ ,(\n]")
      fail("Depends lacks ${dep}")
    endif()
  endforeach()
  # Errors and warnings fail (an icon of the wrong size, a missing
  # copyright file...); informational notes are printed only.
  execute_process(COMMAND ${found_lintian} --no-tag-display-limit ${deb} OUTPUT_VARIABLE out)
  if(out MATCHES "(^|\n)[EW]: ")
    fail("lintian reports errors or warnings:\n${out}")
  endif()

else()
  message(FATAL_ERROR "unknown CHECK '${CHECK}'")
endif()

if(failures)
  message(FATAL_ERROR "${CHECK}:${failures}")
endif()
message("${CHECK}: ok")
