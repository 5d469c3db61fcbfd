# tirk-console.dll, the same way for x86-64 and ARM64: no C runtime, libgcc or libstdc++; its
# own entry routine; exports from tirk-console.def; imports only what kernel32.def lists.
target_include_directories(jni_headers INTERFACE "${jni_include}" "${CMAKE_SOURCE_DIR}/include/win32")

# The import library holds exactly the console functions the library may call, so that the
# link fails on any other reference. The compiler's default libraries are left out for the
# same reason (test programs get theirs from the compiler driver).
set(CMAKE_CXX_STANDARD_LIBRARIES "")
set(console_imports "${CMAKE_BINARY_DIR}/import/libkernel32-console.a")
add_custom_command(
  OUTPUT "${console_imports}"
  COMMAND ${TIRK_DLLTOOL} -d "${CMAKE_SOURCE_DIR}/src/kernel32.def" -l "${console_imports}"
  DEPENDS "${CMAKE_SOURCE_DIR}/src/kernel32.def"
  COMMENT "Making the import library of the console functions")
add_custom_target(console_imports DEPENDS "${console_imports}")

add_library(tirk-console SHARED src/WinConsoleNative.cpp src/DllEntry.cpp src/tirk-console.def)
add_dependencies(tirk-console jni_header console_imports)
target_include_directories(tirk-console PRIVATE "${jni_generated}")
target_link_libraries(tirk-console PRIVATE jni_headers "${console_imports}")
set_target_properties(tirk-console PROPERTIES
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/dist"
  ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/import")
# Unwind tables are asked for explicitly, since what a compiler writes by default varies with
# the target and the options: exception dispatch, the JVM's crash report, debuggers and
# profilers walk through our frames with them.
target_compile_options(tirk-console PRIVATE
  -O2 -Wall -Wextra -Werror -fno-exceptions -fno-rtti -fno-ident -fasynchronous-unwind-tables
  "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=." "-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
# Stripped, without a timestamp and at a fixed preferred base, so that the same sources give
# the same bytes.
target_link_options(tirk-console PRIVATE
  -nostdlib -s -Wl,-e,DllEntry
  -Wl,--no-insert-timestamp -Wl,--image-base=0x180000000
  -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "ARM64")
  set(pe_machine arm64)
else()
  set(pe_machine x86-64)
endif()
add_test(NAME pe_check
  COMMAND /usr/bin/python3 "${CMAKE_SOURCE_DIR}/tests/pe/check_pe.py" "$<TARGET_FILE:tirk-console>" ${pe_machine}
          "${CMAKE_SOURCE_DIR}/src/tirk-console.def" "${CMAKE_SOURCE_DIR}/src/kernel32.def"
          "${test_reports}/pe_check.xml")

add_test(NAME reproducible
  COMMAND "${CMAKE_SOURCE_DIR}/tests/pe/reproducible.sh" "${CMAKE_SOURCE_DIR}" "${CMAKE_TOOLCHAIN_FILE}"
          "$<TARGET_FILE:tirk-console>" "${test_reports}/reproducible.xml")

# The driver: every entry point called through the DLL's exports by a program with no C runtime
# either, on Wine's console (for ARM64, Debian's arm64 Wine under qemu user-mode emulation).
set(driver_imports "${CMAKE_BINARY_DIR}/import/libkernel32-driver.a")
add_custom_command(
  OUTPUT "${driver_imports}"
  COMMAND ${TIRK_DLLTOOL} -d "${CMAKE_SOURCE_DIR}/tests/driver/driver-kernel32.def" -l "${driver_imports}"
  DEPENDS "${CMAKE_SOURCE_DIR}/tests/driver/driver-kernel32.def"
  COMMENT "Making the import library of the driver's platform functions")
add_custom_target(driver_imports DEPENDS "${driver_imports}")

add_executable(driver tests/driver/Driver.cpp)
add_dependencies(driver driver_imports tirk-console)
target_include_directories(driver PRIVATE tests/common)
target_link_libraries(driver PRIVATE jni_headers "${driver_imports}")
target_compile_options(driver PRIVATE -O2 -Wall -Wextra -Werror -fno-exceptions -fno-rtti
                       -fno-threadsafe-statics -fasynchronous-unwind-tables)
target_link_options(driver PRIVATE -nostdlib -Wl,-e,driverMain -Wl,--subsystem,console)

add_test(NAME driver
  COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/driver/run_driver.py" ${pe_machine} "$<TARGET_FILE:driver>"
          "$<TARGET_FILE:tirk-console>" "${CMAKE_BINARY_DIR}/arm64-wine" "${test_reports}/driver.xml")
set_tests_properties(driver PROPERTIES ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
