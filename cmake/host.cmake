# The entry points built for Linux against the stand-in console, and the suites that drive
# them with faults the real platform cannot be made to show.
target_include_directories(jni_headers INTERFACE "${jni_include}" "${jni_include}/linux")

add_library(bridge_on_standin STATIC src/WinConsoleNative.cpp tests/host/StandInConsole.cpp)
add_dependencies(bridge_on_standin jni_header)
target_include_directories(bridge_on_standin PUBLIC
  "${CMAKE_SOURCE_DIR}/tests/host/standin" "${CMAKE_SOURCE_DIR}/tests/host" "${CMAKE_SOURCE_DIR}/src" "${jni_generated}")
target_link_libraries(bridge_on_standin PUBLIC jni_headers)
target_compile_options(bridge_on_standin PRIVATE -O2 -Wall -Wextra -Werror -fno-exceptions -fno-rtti)

add_executable(host_tests
  tests/host/HandleRuleTest.cpp
  tests/host/StdHandleTest.cpp
  tests/host/InputEventTest.cpp
  tests/host/OutputTest.cpp
  tests/host/ModeTest.cpp)
target_link_libraries(host_tests PRIVATE bridge_on_standin fake_jni gmock gtest_main)
add_test(NAME host COMMAND host_tests "--gtest_output=xml:${test_reports}/host.xml")
