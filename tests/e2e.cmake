# The end-to-end runs: the real program in a private X server (Xvfb + Openbox)
# with a private PulseAudio null sink, driven only by mouse and keyboard through
# xdotool and the real dialogs, its sound recorded. Screenshots and logs of a
# failure go to <build>/e2e-artifacts. Without Xvfb or xdotool they are skipped.
#   tagging: a whole tagging session, the kill and 恢复, held keys on a busy machine;
#   timing:  the timing help, 校正反应延迟 (C) and 对齐到这首歌 (A);
#   words:   逐字打轴, one line tapped unit by unit and saved.
foreach(name tagging timing words)
  add_test(NAME e2e_${name}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/${name}.sh $<TARGET_FILE:tarvelin> ${PROJECT_BINARY_DIR}/e2e-artifacts)
  set_tests_properties(e2e_${name} PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 240
    ENVIRONMENT "LC_ALL=C.UTF-8;E2E_VERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
endforeach()
