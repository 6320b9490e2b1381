# End-to-end runs: the real program in a private X server (Xvfb + Openbox) with
# a private PulseAudio null sink, driven only by mouse and keyboard through
# xdotool and the real dialogs, its sound recorded. Each is a script in e2e/; screenshots and
# logs go to <build>/e2e-artifacts. Without Xvfb or xdotool they are skipped.

set(tarvelin_e2e_artifacts ${PROJECT_BINARY_DIR}/e2e-artifacts)
file(GLOB tarvelin_e2e_scripts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/*.sh)
list(FILTER tarvelin_e2e_scripts EXCLUDE REGEX "/lib\\.sh$")
foreach(script IN LISTS tarvelin_e2e_scripts)
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e_${name}
    COMMAND bash ${script} $<TARGET_FILE:tarvelin> ${tarvelin_e2e_artifacts})
  set_tests_properties(e2e_${name} PROPERTIES
    LABELS e2e
    SKIP_RETURN_CODE 77
    TIMEOUT 240
    ENVIRONMENT "LC_ALL=C.UTF-8")
endforeach()
