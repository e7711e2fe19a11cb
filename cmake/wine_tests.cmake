# The Windows builds' tests, run under Wine by ctest (presets wine-x64/x86 and pagehost-x64/x86): each test
# program in a fresh prefix of its own, and each page-host suite against this build's DLL. A machine that cannot run
# 32-bit programs skips the x86 ones (exit code 77).
set(QM_HARNESS ${CMAKE_SOURCE_DIR}/scripts/lib)

foreach(sub ${QM_SUBSYSTEMS})
  foreach(kind wine portable)
    if(TARGET ${sub}_${kind}_tests)
      add_test(NAME ${sub}_${kind}_tests COMMAND bash ${QM_HARNESS}/wine_suite.sh $<TARGET_FILE:${sub}_${kind}_tests>)
      set_tests_properties(${sub}_${kind}_tests PROPERTIES LABELS "wine;gtest" TIMEOUT 900 SKIP_RETURN_CODE 77)
    endif()
  endforeach()
endforeach()

file(GLOB QM_PAGEHOST_SUITES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/pagehost/*_test.sh)
list(APPEND QM_PAGEHOST_SUITES ${CMAKE_SOURCE_DIR}/tests/ui/win32/dpi_test.sh)
foreach(suite ${QM_PAGEHOST_SUITES})
  get_filename_component(name ${suite} NAME_WE)
  add_test(NAME ${name} COMMAND bash ${suite} ${QM_DIST_DIR})
  set_tests_properties(${name} PROPERTIES LABELS pagehost TIMEOUT 900 SKIP_RETURN_CODE 77)
endforeach()
