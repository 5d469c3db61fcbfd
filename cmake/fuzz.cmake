# The libFuzzer target over the stand-in console (clang only); ctest gives it a short run
# from the committed seed corpus, fuzz.sh a long one.
add_executable(fuzz_entry_points tests/fuzz/FuzzEntryPoints.cpp)
target_link_libraries(fuzz_entry_points PRIVATE bridge_on_standin fake_jni)
target_compile_options(fuzz_entry_points PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_entry_points PRIVATE -fsanitize=fuzzer)
set(TIRK_FUZZ_SECONDS 60 CACHE STRING "How long the fuzzing test runs")
add_test(NAME fuzz
  COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/fuzz/run_fuzz.py" "$<TARGET_FILE:fuzz_entry_points>"
          "${CMAKE_SOURCE_DIR}/tests/fuzz/corpus" "${CMAKE_BINARY_DIR}/fuzz-corpus" "${TIRK_FUZZ_SECONDS}"
          "${test_reports}/fuzz.xml")
