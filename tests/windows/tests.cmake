# Platform-layer tests in the unit-test program: the parity checks on both
# systems, the Windows file sharing only where Windows enforces it.
target_sources(meter-unit-tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/platform_parity_test.cpp)
if(WIN32)
  target_sources(meter-unit-tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/share_mode_test.cpp)
endif()
