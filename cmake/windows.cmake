# The product: tirk-console.dll, and the suites that prove it on Wine's real console.
target_include_directories(jni_headers INTERFACE "${jni_include}" "${CMAKE_SOURCE_DIR}/include/win32")

add_library(tirk-console SHARED src/WinConsoleNative.cpp src/tirk-console.def)
add_dependencies(tirk-console jni_header)
target_include_directories(tirk-console PRIVATE "${jni_generated}")
target_link_libraries(tirk-console PRIVATE jni_headers)
set_target_properties(tirk-console PROPERTIES
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/dist"
  ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/import")
target_compile_options(tirk-console PRIVATE
  -O2 -Wall -Wextra -Werror -fno-exceptions -fno-rtti -fno-ident
  "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=." "-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
# Statically linked so that the DLL needs nothing beyond KERNEL32.dll and msvcrt.dll (a
# libstdc++ or libgcc DLL found on the search path would be a planting risk); stripped,
# without a timestamp and at a fixed preferred base so the same sources give the same bytes.
target_link_options(tirk-console PRIVATE
  -static -s
  -Wl,--no-insert-timestamp -Wl,--image-base=0x180000000
  -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)

# The jar: the Java classes, the DLL and its SHA-256 where the loader finds them, and a
# manifest that makes it runnable (the demo) and grants native access on Java 24+.
set(jar_file "${CMAKE_BINARY_DIR}/dist/tirk-console.jar")
add_custom_command(
  OUTPUT "${jar_file}"
  COMMAND "${CMAKE_COMMAND}" -DCLASSES=${java_classes} -DMANIFEST=${CMAKE_SOURCE_DIR}/java/MANIFEST.MF
          -DLIBRARY=$<TARGET_FILE:tirk-console> -DPLATFORM=windows-x86-64 -DJAR=${Java_JAR_EXECUTABLE}
          -DOUTPUT=${jar_file} -P "${CMAKE_SOURCE_DIR}/cmake/pack-jar.cmake"
  DEPENDS "${java_stamp}" tirk-console "${CMAKE_SOURCE_DIR}/java/MANIFEST.MF" "${CMAKE_SOURCE_DIR}/cmake/pack-jar.cmake"
  COMMENT "Packing tirk-console.jar")
add_custom_target(jar ALL DEPENDS "${jar_file}")

add_test(NAME pe_check
  COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/pe/check_pe.py" "$<TARGET_FILE:tirk-console>"
          "${CMAKE_SOURCE_DIR}/src/tirk-console.def" "$<TARGET_OBJECTS:tirk-console>" "${jar_file}"
          "${test_reports}/pe_check.xml")

add_executable(wine_tests
  tests/wine/Bridge.cpp
  tests/wine/WineRig.cpp
  tests/wine/StdHandleTest.cpp
  tests/wine/InputTest.cpp
  tests/wine/OutputTest.cpp
  tests/wine/ModeTest.cpp
  tests/wine/ConcurrencyTest.cpp)
target_link_libraries(wine_tests PRIVATE gtest gmock fake_jni)
target_link_options(wine_tests PRIVATE -static)
add_dependencies(wine_tests tirk-console)
add_test(NAME wine
  COMMAND wine_tests "$<TARGET_FILE:tirk-console>" "--gtest_output=xml:${test_reports}/wine.xml")

add_executable(typed_reader tests/wine/TypedReader.cpp tests/wine/Bridge.cpp)
target_link_libraries(typed_reader PRIVATE jni_headers fake_jni)
target_link_options(typed_reader PRIVATE -static)
add_test(NAME typed_input
  COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/wine/typed_input_test.py"
          "$<TARGET_FILE:typed_reader>" "$<TARGET_FILE:tirk-console>" "${test_reports}/typed_input.xml")

set_tests_properties(wine typed_input PROPERTIES
  ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;LC_ALL=C.UTF-8")


# Benchmark against the bare Win32 calls, run here in smoke mode only; bench.sh runs it in full.
add_executable(wine_bench bench/wine/WineBench.cpp tests/wine/Bridge.cpp)
target_link_libraries(wine_bench PRIVATE jni_headers)
target_include_directories(wine_bench PRIVATE tests/wine)
target_link_options(wine_bench PRIVATE -static)
target_compile_options(wine_bench PRIVATE -O2)
add_test(NAME bench_wine
  COMMAND python3 "${CMAKE_SOURCE_DIR}/bench/run.py" wine --smoke --windows-build "${CMAKE_BINARY_DIR}"
          --report "${test_reports}/bench_wine.xml")

# Random calls from four threads into the real DLL; fuzz.sh makes a million of them.
add_executable(wine_fuzz tests/wine/FuzzCalls.cpp tests/wine/Bridge.cpp)
target_link_libraries(wine_fuzz PRIVATE fake_jni)
target_link_options(wine_fuzz PRIVATE -static)
set(TIRK_WINE_FUZZ_CALLS 10000 CACHE STRING "How many random calls the Wine fuzzing test makes")
add_test(NAME wine_fuzz
  COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/wine/wine_fuzz_test.py" "$<TARGET_FILE:wine_fuzz>"
          "$<TARGET_FILE:tirk-console>" "${TIRK_WINE_FUZZ_CALLS}" 4 1 "${test_reports}/wine_fuzz.xml")
set_tests_properties(wine_fuzz PROPERTIES
  ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;LC_ALL=C.UTF-8")

add_test(NAME reproducible
  COMMAND "${CMAKE_SOURCE_DIR}/tests/pe/reproducible.sh" "${CMAKE_SOURCE_DIR}" "$<TARGET_FILE:tirk-console>"
          "${test_reports}/reproducible.xml")
