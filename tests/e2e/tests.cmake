# End-to-end tests: the built binaries, run by Debian's python3. Each test
# class is its own CTest test, so that slow ones run side by side.
find_program(SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT SYSTEM_PYTHON3)
  find_program(SYSTEM_PYTHON3 python3 REQUIRED)
endif()

function(meter_e2e_test name)
  set(timeout 300)
  if(ARGC GREATER 1)
    set(timeout ${ARGV1})
  endif()
  add_test(NAME e2e.${name}
           COMMAND ${SYSTEM_PYTHON3} -m unittest -v ${name}
           WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/e2e)
  set_tests_properties(e2e.${name} PROPERTIES
                       ENVIRONMENT "METER_BUILD_DIR=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1"
                       TIMEOUT ${timeout})
endfunction()

meter_e2e_test(test_startup.SiteListErrors)
meter_e2e_test(test_startup.FirstCycle)
meter_e2e_test(test_startup.Stop)
meter_e2e_test(test_cycles.TwoCycles)
meter_e2e_test(test_cycles.LogFile)
meter_e2e_test(test_cycles.CycleTime)
meter_e2e_test(test_faults.DeviceComesAndGoes)
meter_e2e_test(test_faults.ConnectNeverAnswered)
meter_e2e_test(test_faults.LogCannotBeWritten)
meter_e2e_test(test_faults.LogSharedWithOthers)
meter_e2e_test(test_faults.FullTable)
meter_e2e_test(test_faults.HostileSiteLists)
meter_e2e_test(test_faults.StopInTheMiddleOfACycle)
meter_e2e_test(test_long_run.LongRun 600)
# valgrind cannot run a binary built with AddressSanitizer.
if(NOT METER_SANITIZE)
  meter_e2e_test(test_memcheck.Memcheck)
endif()
meter_e2e_test(test_cycles.HostWithSeveralAddresses)
