# The entry points built for Linux against the stand-in console, and the suites that drive
# them with faults the real platform cannot be made to show: the host rig in C++, and the
# JVM suite that loads the same code as libtirk-console.so into OpenJDK.
target_include_directories(jni_headers INTERFACE "${jni_include}" "${jni_include}/linux")

add_library(bridge_on_standin OBJECT src/WinConsoleNative.cpp tests/host/StandInConsole.cpp)
add_dependencies(bridge_on_standin jni_header)
set_target_properties(bridge_on_standin PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(bridge_on_standin PUBLIC
  "${CMAKE_SOURCE_DIR}/tests/host/standin" "${CMAKE_SOURCE_DIR}/tests/host" "${CMAKE_SOURCE_DIR}/tests/common"
  "${CMAKE_SOURCE_DIR}/src" "${jni_generated}")
target_link_libraries(bridge_on_standin PUBLIC jni_headers)
target_compile_options(bridge_on_standin PRIVATE -O2 -g -Wall -Wextra -Werror -fno-exceptions -fno-rtti)

add_executable(host_tests
  tests/host/HandleRuleTest.cpp
  tests/host/StdHandleTest.cpp
  tests/host/InputEventTest.cpp
  tests/host/OutputTest.cpp
  tests/host/ModeTest.cpp)
target_link_libraries(host_tests PRIVATE bridge_on_standin fake_jni gmock gtest_main)
if(TIRK_SANITIZE)
  add_test(NAME host_sanitized COMMAND host_tests "--gtest_output=xml:${test_reports}/host_sanitized.xml")
  include(cmake/fuzz.cmake)
  return()
endif()
add_test(NAME host COMMAND host_tests "--gtest_output=xml:${test_reports}/host.xml")
add_test(NAME host_memcheck
  COMMAND valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect --quiet
          "$<TARGET_FILE:host_tests>" "--gtest_output=xml:${test_reports}/host_memcheck.xml")

# The CI workflow, checked by actionlint with shellcheck.
add_test(NAME actionlint
  COMMAND "${CMAKE_SOURCE_DIR}/tests/workflow/run_actionlint.sh" "${CMAKE_BINARY_DIR}/actionlint"
          "${test_reports}/actionlint.xml")

# clang-tidy over the library's sources, with the checks in .clang-tidy.
add_test(NAME clang_tidy
  COMMAND python3 "${CMAKE_SOURCE_DIR}/tools/run-clang-tidy.py" "${CMAKE_BINARY_DIR}" "${test_reports}/clang_tidy.xml"
          "${CMAKE_SOURCE_DIR}/src/WinConsoleNative.cpp")

# libtirk-console.so: the same entry points over the stand-in, plus test-only natives that
# let Java tests script the stand-in.
add_library(tirk-console-jvm SHARED tests/jvm/StandInHooks.cpp)
target_link_libraries(tirk-console-jvm PRIVATE bridge_on_standin)
# Stripped, as a released library would be: the start-up benchmark loads it from a jar.
target_link_options(tirk-console-jvm PRIVATE -s)
set_target_properties(tirk-console-jvm PROPERTIES
  OUTPUT_NAME tirk-console LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/jvm/lib")

# A library of the same name that answers differently, to show which one the loader took.
add_library(tirk-console-decoy SHARED tests/jvm/Decoy.cpp)
target_link_libraries(tirk-console-decoy PRIVATE jni_headers)
set_target_properties(tirk-console-decoy PROPERTIES
  OUTPUT_NAME tirk-console LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/jvm/decoy")

# A jar laid out like the product jar, holding the Linux library built by the target `library`.
function(pack_natives_jar output library comment)
  set(pack_jar "${CMAKE_SOURCE_DIR}/cmake/pack-jar.cmake")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DLIBRARIES=linux-x86-64=$<TARGET_FILE:${library}>"
            -DCLASSES=${java_classes} -DMODULE_INFO=${module_descriptor} -DLICENSE=${CMAKE_SOURCE_DIR}/LICENSE
            -DJAR=${Java_JAR_EXECUTABLE} -DOUTPUT=${output} -P "${pack_jar}"
    DEPENDS ${library} "${pack_jar}" "${java_stamp}" "${module_descriptor}" "${CMAKE_SOURCE_DIR}/LICENSE"
    COMMENT "${comment}")
endfunction()
set(natives_jar "${CMAKE_BINARY_DIR}/jvm/natives.jar")
pack_natives_jar("${natives_jar}" tirk-console-jvm "Packing the Linux library into a test jar")

file(GLOB_RECURSE jvm_test_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/jvm/*.java")
set(jvm_test_classes "${CMAKE_BINARY_DIR}/jvm/test-classes")
add_custom_command(
  OUTPUT "${jvm_test_classes}/org/tirk/terminal/tty/impl/NativeLibraryTest.class"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${jvm_test_classes}"
  COMMAND "${Java_JAVAC_EXECUTABLE}" -encoding UTF-8 -cp "${java_classes}:${junit_classpath}" -d "${jvm_test_classes}" ${jvm_test_sources}
  DEPENDS ${jvm_test_sources} "${java_stamp}"
  COMMENT "Compiling the JVM tests")
add_custom_target(jvm_suite ALL DEPENDS "${natives_jar}" "${jvm_test_classes}/org/tirk/terminal/tty/impl/NativeLibraryTest.class")

set(newer_java "")
if(newer_jdk)
  set(newer_java "${newer_jdk}/bin/java")
endif()

add_test(NAME jvm
  COMMAND "${CMAKE_SOURCE_DIR}/tests/jvm/run-junit.sh" "${test_reports}/jvm.xml"
    "-Djava.library.path=${CMAKE_BINARY_DIR}/jvm/lib"
    "-Dtest.library=$<TARGET_FILE:tirk-console-jvm>"
    "-Dtest.nativesJar=${natives_jar}"
    "-Dtest.decoyFolder=${CMAKE_BINARY_DIR}/jvm/decoy" "-Dtest.newerJava=${newer_java}"
    "-Dtest.classes=${java_classes}:${jvm_test_classes}"
    -cp "${java_classes}:${jvm_test_classes}")

# The start-up benchmark's library, of about the DLL's size, in a jar laid out like the product jar.
add_library(startup-library SHARED bench/startup/OneCallLibrary.cpp)
target_link_libraries(startup-library PRIVATE jni_headers)
target_link_options(startup-library PRIVATE -nostdlib -s -Wl,-z,noseparate-code -Wl,--build-id=none)
set_target_properties(startup-library PROPERTIES
  OUTPUT_NAME tirk-console LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/startup/lib")
set(startup_jar "${CMAKE_BINARY_DIR}/startup/natives.jar")
pack_natives_jar("${startup_jar}" startup-library "Packing the start-up benchmark's library into a jar")
add_custom_target(startup_bench ALL DEPENDS "${startup_jar}")

# Benchmarks, run here in smoke mode only; bench.sh runs them in full.
add_executable(instruction_driver bench/host/InstructionDriver.cpp)
target_link_libraries(instruction_driver PRIVATE bridge_on_standin fake_jni)
foreach(bench IN ITEMS instructions jvm startup)
  add_test(NAME bench_${bench}
    COMMAND python3 "${CMAKE_SOURCE_DIR}/bench/run.py" ${bench} --smoke --host-build "${CMAKE_BINARY_DIR}"
            --report "${test_reports}/bench_${bench}.xml")
endforeach()
