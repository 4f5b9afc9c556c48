# Meter communication: the register read exchange, the poll over real
# loopback sockets against the device simulator, and the poll against a
# Modbus server from outside the project (Debian's pymodbus).
add_executable(meter-link-tests
  unit/capture.cpp
  meter_link/helper_process.cpp
  meter_link/measurements.cpp
  meter_link/poll_support.cpp
  meter_link/read_exchange_test.cpp
  meter_link/meter_poll_test.cpp
  meter_link/interop_test.cpp
  meter_link/simulator_test.cpp)
target_link_libraries(meter-link-tests PRIVATE meter_core GTest::gtest GTest::gtest_main)
add_dependencies(meter-link-tests quorvane-sim)
target_compile_definitions(meter-link-tests PRIVATE
  QUORVANE_SIM="$<TARGET_FILE:quorvane-sim>"
  PYTHON3="/usr/bin/python3"
  MODBUS_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/meter_link/modbus_server.py")
# One CTest test per case, so the few that wait out a silent device run in
# parallel under ctest -j.
gtest_discover_tests(meter-link-tests WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                     DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60 LABELS meter_link)
