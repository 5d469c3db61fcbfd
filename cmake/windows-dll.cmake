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

# The version resource, of the project's one version.
configure_file("${CMAKE_SOURCE_DIR}/src/tirk-console.rc.in" "${CMAKE_BINARY_DIR}/tirk-console.rc" @ONLY)
set(version_resource "${CMAKE_BINARY_DIR}/tirk-console-rc.obj")
add_custom_command(
  OUTPUT "${version_resource}"
  COMMAND ${TIRK_WINDRES} -O coff -i "${CMAKE_BINARY_DIR}/tirk-console.rc" -o "${version_resource}"
  DEPENDS "${CMAKE_BINARY_DIR}/tirk-console.rc"
  COMMENT "Compiling the version resource")
set_source_files_properties("${version_resource}" PROPERTIES EXTERNAL_OBJECT ON GENERATED ON)

add_library(tirk-console SHARED src/WinConsoleNative.cpp src/DllEntry.cpp src/tirk-console.def "${version_resource}")
add_dependencies(tirk-console jni_header console_imports)
target_include_directories(tirk-console PRIVATE "${jni_generated}")
target_link_libraries(tirk-console PRIVATE jni_headers "${console_imports}")
set_target_properties(tirk-console PROPERTIES
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/dist"
  ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/import")
if(TIRK_LINKER_MARKS_RSRC_WRITABLE)
  add_custom_command(TARGET tirk-console POST_BUILD
    COMMAND python3 "${CMAKE_SOURCE_DIR}/tools/pe-readonly-rsrc.py" "$<TARGET_FILE:tirk-console>"
    COMMENT "Making the version resource read-only")
endif()

# Authenticode: with a certificate (and its key) the DLL that is shipped, dist/tirk-console.dll,
# is the signed one, and the linker's output stays in unsigned/. The signing time is fixed, so
# that a signed release rebuilds byte-identical (unless it is time-stamped).
set(TIRK_AUTHENTICODE_CERT "" CACHE FILEPATH "Code-signing certificate (PEM, or PKCS#12 as .p12/.pfx) that signs the DLL")
set(TIRK_AUTHENTICODE_KEY "" CACHE FILEPATH "Its private key (PEM), unless the certificate is PKCS#12")
set(TIRK_AUTHENTICODE_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp authority, if any")
set(TIRK_SIGNING_TIME "" CACHE STRING "Signing time, in seconds since 1970")
set(shipped_dll "${CMAKE_BINARY_DIR}/dist/tirk-console.dll")
if(TIRK_AUTHENTICODE_CERT)
  set_target_properties(tirk-console PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/unsigned")
  add_custom_command(
    OUTPUT "${shipped_dll}"
    COMMAND "${CMAKE_SOURCE_DIR}/tools/authenticode-sign.sh" sign "${TIRK_AUTHENTICODE_CERT}" "${TIRK_AUTHENTICODE_KEY}"
            "${TIRK_SIGNING_TIME}" "${TIRK_AUTHENTICODE_TIMESTAMP_URL}" "$<TARGET_FILE:tirk-console>" "${shipped_dll}"
    DEPENDS tirk-console "${TIRK_AUTHENTICODE_CERT}" "${CMAKE_SOURCE_DIR}/tools/authenticode-sign.sh"
    COMMENT "Signing tirk-console.dll"
    VERBATIM)
  add_custom_target(tirk-console-shipped ALL DEPENDS "${shipped_dll}")
else()
  add_custom_target(tirk-console-shipped ALL DEPENDS tirk-console)
endif()
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
          "${PROJECT_VERSION}"
          "${CMAKE_SOURCE_DIR}/src/tirk-console.def" "${CMAKE_SOURCE_DIR}/src/kernel32.def"
          "${test_reports}/pe_check.xml")

add_test(NAME reproducible
  COMMAND "${CMAKE_SOURCE_DIR}/tests/pe/reproducible.sh" "${CMAKE_SOURCE_DIR}" "${CMAKE_TOOLCHAIN_FILE}"
          "$<TARGET_FILE:tirk-console>" "${test_reports}/reproducible.xml")

# The driver: every entry point called through the DLL's exports by a program with no C runtime
# either; and the console host, which runs it in a console of its own and plays its user. Each
# imports only the platform functions its .def lists.
function(windows_test_program name source imports entry)
  set(import_library "${CMAKE_BINARY_DIR}/import/libkernel32-${name}.a")
  add_custom_command(
    OUTPUT "${import_library}"
    COMMAND ${TIRK_DLLTOOL} -d "${CMAKE_SOURCE_DIR}/${imports}" -l "${import_library}"
    DEPENDS "${CMAKE_SOURCE_DIR}/${imports}"
    COMMENT "Making the import library of the platform functions of ${name}")
  add_custom_target(${name}_imports DEPENDS "${import_library}")
  add_executable(${name} ${source})
  add_dependencies(${name} ${name}_imports)
  target_include_directories(${name} PRIVATE tests/common)
  target_link_libraries(${name} PRIVATE jni_headers "${import_library}")
  target_compile_options(${name} PRIVATE -O2 -Wall -Wextra -Werror -fno-exceptions -fno-rtti
                         -fno-threadsafe-statics -fasynchronous-unwind-tables)
  target_link_options(${name} PRIVATE -nostdlib -Wl,-e,${entry} -Wl,--subsystem,console)
  set_target_properties(${name} PROPERTIES OUTPUT_NAME ${name} RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/programs")
endfunction()
windows_test_program(driver tests/driver/Driver.cpp tests/driver/driver-kernel32.def driverMain)
add_dependencies(driver tirk-console-shipped)
windows_test_program(console-host tests/console-host/ConsoleHost.cpp tests/console-host/host-kernel32.def
                     consoleHostMain)

# A library of the same name that answers differently, to show which one the loader took. It links
# no runtime either, so that one padded to our DLL's size can forge its CRC-32.
add_library(tirk-console-decoy SHARED tests/jvm/Decoy.cpp src/DllEntry.cpp)
target_link_libraries(tirk-console-decoy PRIVATE jni_headers)
target_link_options(tirk-console-decoy PRIVATE -nostdlib -s -Wl,-e,DllEntry)
set_target_properties(tirk-console-decoy PROPERTIES
  PREFIX "" OUTPUT_NAME tirk-console RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/programs/decoy"
  ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/import/decoy")

# The Windows job's console step, from the workflow's own lines, on this architecture's job.
if(pe_machine STREQUAL "arm64")
  set(driver_job --arm64-wine "${CMAKE_BINARY_DIR}/arm64-wine" image=windows-11-arm,java=25,jvm=native
      --file "dist/tirk-console-aarch64.dll=${shipped_dll}" --file "windows-tests/aarch64=${CMAKE_BINARY_DIR}/programs")
else()
  set(driver_job image=windows-latest,java=25,jvm=native
      --file "dist/tirk-console.dll=${shipped_dll}" --file "windows-tests/x86-64=${CMAKE_BINARY_DIR}/programs")
endif()
add_test(NAME driver
  COMMAND /usr/bin/python3 "${CMAKE_SOURCE_DIR}/tests/windows/run_job.py" "${test_reports}/driver.xml" --only console.cmd
          ${driver_job})
set_tests_properties(driver PROPERTIES ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
