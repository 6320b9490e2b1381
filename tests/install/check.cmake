# One installation check, chosen by CHECK; run with cmake -P by install.cmake.
# Inputs: CHECK, SOURCE_DIR, BUILD_DIR, WORK_DIR, VERSION, HOMEPAGE.

cmake_minimum_required(VERSION 3.25)

set(app_id io.github.quorrin.tarvelin)
set(failures "")

function(fail text)
  set(failures "${failures}\n  ${text}" PARENT_SCOPE)
endfunction()

function(skip text)
  message("SKIPPED: ${text}")
endfunction()

# Runs a command; fails the check with its output when it does not succeed.
function(run_or_fail what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}${err}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc})")
  endif()
endfunction()

# Fails unless the text in variable `var` matches `regex` with its first group `expected`.
function(expect what var regex expected)
  if(NOT "${${var}}" MATCHES "${regex}" OR NOT CMAKE_MATCH_1 STREQUAL expected)
    set(failures "${failures}\n  ${what} is '${CMAKE_MATCH_1}', not '${expected}'" PARENT_SCOPE)
  endif()
endfunction()

function(install_to root)
  file(REMOVE_RECURSE ${root})
  set(ENV{DESTDIR} ${root})
  run_or_fail("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr)
  unset(ENV{DESTDIR})
endfunction()

if(CHECK STREQUAL "file-set")
  set(root ${WORK_DIR}/root)
  install_to(${root})

  set(expected
    usr/bin/tarvelin
    usr/share/applications/${app_id}.desktop
    usr/share/doc/tarvelin/changelog.gz
    usr/share/doc/tarvelin/copyright
    usr/share/icons/hicolor/16x16/apps/tarvelin.png
    usr/share/icons/hicolor/32x32/apps/tarvelin.png
    usr/share/icons/hicolor/48x48/apps/tarvelin.png
    usr/share/icons/hicolor/64x64/apps/tarvelin.png
    usr/share/icons/hicolor/scalable/apps/tarvelin.svg
    usr/share/man/man1/tarvelin.1.gz
    usr/share/metainfo/${app_id}.metainfo.xml)
  file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
  list(SORT installed)
  list(SORT expected)
  if(NOT installed STREQUAL expected)
    string(REPLACE ";" "\n    " got "${installed}")
    fail("installed files differ from the expected set; installed:\n    ${got}")
  endif()

  # (An icon of the wrong size for its folder is lintian's to find: see deb.)
  # The desktop entry names what was installed.
  file(STRINGS ${root}/usr/share/applications/${app_id}.desktop lines REGEX "^(Exec|Icon)=")
  expect("desktop entry's Exec and Icon" lines "^(.*)$" "Exec=tarvelin;Icon=tarvelin")

  # The metainfo file gives the same home page as the author link and the
  # project version; the Windows version record and the manual page, made
  # from templates, carry the version too.
  file(READ ${root}/usr/share/metainfo/${app_id}.metainfo.xml xml)
  expect("metainfo home page" xml "<url type=\"homepage\">([^<]*)</url>" "${HOMEPAGE}")
  expect("metainfo release" xml "<release version=\"([^\"]*)\"" "${VERSION}")
  if(xml MATCHES "@[A-Z_]+@")
    fail("metainfo still holds a placeholder: ${CMAKE_MATCH_0}")
  endif()
  file(READ ${BUILD_DIR}/src/app/tarvelin.rc rc)
  string(REPLACE "," "." rc "${rc}") # FILEVERSION 1,0,0,0 reads as 1.0.0.0
  foreach(key FILEVERSION PRODUCTVERSION FileVersion ProductVersion)
    expect("tarvelin.rc ${key}" rc "${key}\"?\\.? \"?([0-9.]+)" "${VERSION}")
  endforeach()
  file(STRINGS ${BUILD_DIR}/packaging/tarvelin.1 th REGEX "^\\.TH ")
  expect("manual page header's name" th "\"(Tarvelin [^\"]*)\"" "Tarvelin ${VERSION}")

elseif(CHECK STREQUAL "desktop-entry")
  find_program(validator desktop-file-validate)
  if(NOT validator)
    skip("desktop-file-validate not installed (package desktop-file-utils)")
    return()
  endif()
  # The validator prints hints and warnings but fails only on errors; a
  # clean entry prints nothing at all.
  execute_process(COMMAND ${validator} ${SOURCE_DIR}/packaging/linux/${app_id}.desktop
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
    fail("desktop-file-validate (${rc}):\n${out}${err}")
  endif()

elseif(CHECK STREQUAL "metainfo")
  find_program(appstreamcli appstreamcli)
  if(NOT appstreamcli)
    skip("appstreamcli not installed (package appstream)")
    return()
  endif()
  # Pedantic: fail on warnings and info notes too, not only on errors.
  run_or_fail("appstreamcli validate" ${appstreamcli} validate --no-net --pedantic
              ${BUILD_DIR}/packaging/${app_id}.metainfo.xml)

elseif(CHECK STREQUAL "deb")
  find_program(dpkg-deb_path dpkg-deb)
  find_program(dpkg-shlibdeps_path dpkg-shlibdeps)
  if(NOT dpkg-deb_path OR NOT dpkg-shlibdeps_path)
    skip("dpkg-deb or dpkg-shlibdeps not installed (package dpkg-dev)")
    return()
  endif()
  file(REMOVE_RECURSE ${WORK_DIR})
  run_or_fail("cpack" ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${WORK_DIR})
  file(GLOB deb ${WORK_DIR}/tarvelin_${VERSION}_*.deb)
  if(NOT deb)
    message(FATAL_ERROR "cpack made no tarvelin_${VERSION}_*.deb")
  endif()

  execute_process(COMMAND ${dpkg-deb_path} --field ${deb} Package Version Section Depends
                  OUTPUT_VARIABLE fields)
  message("${fields}")
  expect("Package" fields "Package: ([^\n]*)" "tarvelin")
  expect("Version" fields "Version: ([^\n]*)" "${VERSION}")
  expect("Section" fields "Section: ([^\n]*)" "sound")
  # What a bare Debian 12 lacks: the linked libraries, and what Qt loads at
  # run time: the window-system plugin and its own Chinese translations.
  foreach(dep libmpv2 libqt6core6 libqt6gui6 libqt6widgets6 libtag1v5 libuchardet0
              qt6-qpa-plugins qt6-translations-l10n)
    if(NOT fields MATCHES "Depends:.*[ ,]${dep}[ ,(\n]")
      fail("Depends lacks ${dep}")
    endif()
  endforeach()

  # Errors and warnings fail; informational notes are printed only.
  find_program(lintian lintian)
  if(lintian)
    execute_process(COMMAND ${lintian} --no-tag-display-limit ${deb} OUTPUT_VARIABLE out)
    message("lintian:\n${out}")
    if(out MATCHES "(^|\n)[EW]: ")
      fail("lintian reports errors or warnings:\n${out}")
    endif()
  else()
    message("lintian not installed; package contents not linted")
  endif()

elseif(CHECK STREQUAL "windows-resources")
  # Compiles tarvelin.rc with the MinGW resource compiler, as a Windows build
  # would, and reads back what it made (its version numbers: see file-set).
  find_program(windres x86_64-w64-mingw32-windres)
  find_file(winver winver.h PATHS /usr/share/mingw-w64/include NO_DEFAULT_PATH)
  find_program(cpp cpp)
  if(NOT windres OR NOT winver OR NOT cpp)
    skip("MinGW resource compiler or headers not installed (binutils-mingw-w64-x86-64, mingw-w64-x86-64-dev)")
    return()
  endif()
  get_filename_component(mingw_include ${winver} DIRECTORY)
  file(MAKE_DIRECTORY ${WORK_DIR})
  run_or_fail("windres" ${windres} --preprocessor=${cpp}
    --preprocessor-arg=-D_WIN32 --preprocessor-arg=-D_WIN64
    --preprocessor-arg=-include --preprocessor-arg=winapifamily.h
    -I ${SOURCE_DIR}/packaging/icons -I ${mingw_include}
    -i ${BUILD_DIR}/src/app/tarvelin.rc -O rc -o ${WORK_DIR}/tarvelin.decompiled.rc)
  file(READ ${WORK_DIR}/tarvelin.decompiled.rc rc)
  expect("compiled language" rc "LANGUAGE ([0-9, ]+)\n" "4, 2")
  expect("compiled translation" rc "VALUE \"Translation\", ([^\n]*)\n" "0x804, 1200")
  string(REGEX MATCHALL "/\\* RT_ICON \\*/" icons "${rc}")
  list(LENGTH icons icon_count)
  if(NOT icon_count EQUAL 4)
    fail("the program icon holds ${icon_count} images, not 4")
  endif()

else()
  message(FATAL_ERROR "unknown CHECK '${CHECK}'")
endif()

if(failures)
  message(FATAL_ERROR "${CHECK}:${failures}")
endif()
message("${CHECK}: ok")
