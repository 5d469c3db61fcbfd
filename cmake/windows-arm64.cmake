# tirk-console.dll for Windows on ARM64, proven by a driver with no C runtime either, run by
# Debian's arm64 Wine under qemu user-mode emulation.
set(driver_imports "${CMAKE_BINARY_DIR}/import/libkernel32-driver.a")
add_custom_command(
  OUTPUT "${driver_imports}"
  COMMAND ${TIRK_DLLTOOL} -d "${CMAKE_SOURCE_DIR}/tests/arm64/driver-kernel32.def" -l "${driver_imports}"
  DEPENDS "${CMAKE_SOURCE_DIR}/tests/arm64/driver-kernel32.def"
  COMMENT "Making the import library of the driver's platform functions")
add_custom_target(driver_imports DEPENDS "${driver_imports}")

add_executable(arm64_driver tests/arm64/Driver.cpp)
add_dependencies(arm64_driver driver_imports tirk-console)
target_include_directories(arm64_driver PRIVATE tests/common tests/wine)
target_link_libraries(arm64_driver PRIVATE jni_headers "${driver_imports}")
target_compile_options(arm64_driver PRIVATE -O2 -Wall -Wextra -Werror -fno-exceptions -fno-rtti
                       -fno-threadsafe-statics -fasynchronous-unwind-tables)
target_link_options(arm64_driver PRIVATE -nostdlib -Wl,-e,driverMain -Wl,--subsystem,console)

add_test(NAME arm64_driver
  COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/arm64/run_driver.py" "$<TARGET_FILE:arm64_driver>"
          "$<TARGET_FILE:tirk-console>" "${CMAKE_BINARY_DIR}/arm64-wine" "${test_reports}/arm64_driver.xml")
