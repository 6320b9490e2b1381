# The end-to-end run: the real program in a private X server (Xvfb + Openbox)
# with a private PulseAudio null sink, driven only by mouse and keyboard through
# xdotool and the real dialogs, its sound recorded. Screenshots and logs of a
# failure go to <build>/e2e-artifacts. Without Xvfb or xdotool it is skipped.

add_test(NAME e2e_tagging
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/tagging.sh $<TARGET_FILE:tarvelin> ${PROJECT_BINARY_DIR}/e2e-artifacts)
set_tests_properties(e2e_tagging PROPERTIES
  LABELS e2e
  SKIP_RETURN_CODE 77
  TIMEOUT 240
  ENVIRONMENT "LC_ALL=C.UTF-8;E2E_VERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")

# The timing help through the real window: 校正反应延迟 (C) and 对齐到这首歌 (A).
add_test(NAME e2e_timing
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/timing.sh $<TARGET_FILE:tarvelin> ${PROJECT_BINARY_DIR}/e2e-artifacts)
set_tests_properties(e2e_timing PROPERTIES
  LABELS e2e
  SKIP_RETURN_CODE 77
  TIMEOUT 240
  ENVIRONMENT "LC_ALL=C.UTF-8;E2E_VERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")

# 逐字打轴 through the real window: one line tapped unit by unit and saved.
add_test(NAME e2e_words
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/words.sh $<TARGET_FILE:tarvelin> ${PROJECT_BINARY_DIR}/e2e-artifacts)
set_tests_properties(e2e_words PROPERTIES
  LABELS e2e
  SKIP_RETURN_CODE 77
  TIMEOUT 240
  ENVIRONMENT "LC_ALL=C.UTF-8;E2E_VERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
