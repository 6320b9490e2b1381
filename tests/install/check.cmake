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

# Width, height and colour type from a PNG's header chunk.
function(png_header file out_width out_height out_type)
  file(READ ${file} hex OFFSET 16 LIMIT 10 HEX)
  string(SUBSTRING ${hex} 0 8 w)
  string(SUBSTRING ${hex} 8 8 h)
  string(SUBSTRING ${hex} 18 2 t)
  math(EXPR w "0x${w}")
  math(EXPR h "0x${h}")
  set(${out_width} ${w} PARENT_SCOPE)
  set(${out_height} ${h} PARENT_SCOPE)
  set(${out_type} ${t} PARENT_SCOPE)
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

  # Each hicolor size folder holds an image of that size, with alpha.
  foreach(size 16 32 48 64)
    set(png ${root}/usr/share/icons/hicolor/${size}x${size}/apps/tarvelin.png)
    if(EXISTS ${png})
      png_header(${png} w h type)
      if(NOT w EQUAL size OR NOT h EQUAL size)
        fail("${size}x${size} icon is ${w}x${h}")
      endif()
      if(NOT type STREQUAL "06")
        fail("${size}x${size} icon has colour type ${type}, not RGBA (06)")
      endif()
    endif()
  endforeach()

  # The desktop entry names what was installed.
  set(desktop ${root}/usr/share/applications/${app_id}.desktop)
  if(EXISTS ${desktop})
    file(STRINGS ${desktop} exec REGEX "^Exec=")
    file(STRINGS ${desktop} icon REGEX "^Icon=")
    if(NOT exec STREQUAL "Exec=tarvelin")
      fail("desktop entry: '${exec}' does not start the installed usr/bin/tarvelin")
    endif()
    if(NOT icon STREQUAL "Icon=tarvelin")
      fail("desktop entry: '${icon}' is not the installed icon name")
    endif()
  endif()

  # The metainfo file gives the same home page as the author link and the
  # project version.
  set(metainfo ${root}/usr/share/metainfo/${app_id}.metainfo.xml)
  if(EXISTS ${metainfo})
    file(READ ${metainfo} xml)
    if(NOT xml MATCHES "<url type=\"homepage\">([^<]*)</url>" OR NOT CMAKE_MATCH_1 STREQUAL HOMEPAGE)
      fail("metainfo home page '${CMAKE_MATCH_1}' is not '${HOMEPAGE}'")
    endif()
    if(NOT xml MATCHES "<release version=\"([^\"]*)\"" OR NOT CMAKE_MATCH_1 STREQUAL VERSION)
      fail("metainfo release '${CMAKE_MATCH_1}' is not ${VERSION}")
    endif()
    if(xml MATCHES "@[A-Z_]+@")
      fail("metainfo still holds a placeholder: ${CMAKE_MATCH_0}")
    endif()
  endif()

  # The Windows version record and the manual page, made from templates,
  # carry the project version.
  file(READ ${BUILD_DIR}/src/app/tarvelin.rc rc)
  string(REPLACE "." "," version_commas ${VERSION})
  foreach(key FILEVERSION PRODUCTVERSION)
    if(NOT rc MATCHES "${key} ([0-9,]+)" OR NOT CMAKE_MATCH_1 STREQUAL version_commas)
      fail("tarvelin.rc: ${key} is '${CMAKE_MATCH_1}', not ${version_commas}")
    endif()
  endforeach()
  foreach(key FileVersion ProductVersion)
    if(NOT rc MATCHES "\"${key}\", \"([^\"]*)\"" OR NOT CMAKE_MATCH_1 STREQUAL VERSION)
      fail("tarvelin.rc: ${key} is '${CMAKE_MATCH_1}', not ${VERSION}")
    endif()
  endforeach()
  file(STRINGS ${BUILD_DIR}/packaging/tarvelin.1 th REGEX "^\\.TH ")
  if(NOT th MATCHES "\"Tarvelin ${VERSION}\"")
    fail("manual page header '${th}' does not name Tarvelin ${VERSION}")
  endif()

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
  foreach(tool dpkg-deb dpkg-shlibdeps)
    find_program(${tool}_path ${tool})
    if(NOT ${tool}_path)
      skip("${tool} not installed (package dpkg-dev)")
      return()
    endif()
  endforeach()
  file(REMOVE_RECURSE ${WORK_DIR})
  run_or_fail("cpack" ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${WORK_DIR})
  file(GLOB deb ${WORK_DIR}/tarvelin_${VERSION}_*.deb)
  if(NOT deb)
    message(FATAL_ERROR "cpack made no tarvelin_${VERSION}_*.deb")
  endif()

  execute_process(COMMAND ${dpkg-deb_path} --field ${deb} Package Version Section Depends
                  OUTPUT_VARIABLE fields)
  message("${fields}")
  foreach(expect "Package: tarvelin" "Version: ${VERSION}" "Section: sound")
    string(FIND "${fields}" "${expect}\n" at)
    if(at EQUAL -1)
      fail("package lacks '${expect}'")
    endif()
  endforeach()
  # What a bare Debian 12 lacks: the linked libraries, and what Qt loads at
  # run time: the window-system plugin and its own Chinese translations.
  foreach(dep libmpv2 libqt6core6 libqt6gui6 libqt6widgets6 libtag1v5 libuchardet0
              qt6-qpa-plugins qt6-translations-l10n)
    if(NOT fields MATCHES "Depends:.*[ ,]${dep}[ ,(\n]")
      fail("Depends lacks ${dep}")
    endif()
  endforeach()

  find_program(lintian lintian)
  if(lintian)
    # Errors and warnings fail; informational notes are printed only.
    execute_process(COMMAND ${lintian} --no-tag-display-limit ${deb}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    message("lintian:\n${out}")
    if(out MATCHES "(^|\n)[EW]: ")
      fail("lintian reports errors or warnings:\n${out}")
    endif()
  else()
    message("lintian not installed; package contents not linted")
  endif()

elseif(CHECK STREQUAL "windows-resources")
  # Compiles tarvelin.rc with the MinGW resource compiler, as a Windows build
  # would, and reads back what it made.
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
  string(REPLACE "." ", " version_commas ${VERSION})
  foreach(expect "LANGUAGE 4, 2" " FILEVERSION ${version_commas}" " PRODUCTVERSION ${version_commas}"
                 "VALUE \"Translation\", 0x804, 1200")
    string(FIND "${rc}" "${expect}" at)
    if(at EQUAL -1)
      fail("compiled resources lack '${expect}'")
    endif()
  endforeach()
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
