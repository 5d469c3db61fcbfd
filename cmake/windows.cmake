# The x86-64 suites that prove tirk-console.dll on Wine's real console, and the jar that
# carries the DLLs of both architectures.

# The jar: the Java classes, both DLLs and their SHA-256 where the loader finds them, and a
# manifest that makes it runnable (the demo), grants native access on Java 24+ and makes it an
# OSGi bundle of the project's version. The ARM64
# DLL comes from the ARM64 build (preset windows-arm64), which must run first.
set(TIRK_ARM64_DLL "${CMAKE_SOURCE_DIR}/build/windows-arm64/dist/tirk-console.dll" CACHE FILEPATH
    "tirk-console.dll for ARM64, built by the windows-arm64 preset")
# Without it, ninja stops with "missing and no known rule to make it", naming that file.
set(jar_file "${CMAKE_BINARY_DIR}/dist/tirk-console.jar")
configure_file("${CMAKE_SOURCE_DIR}/java/MANIFEST.MF.in" "${CMAKE_BINARY_DIR}/MANIFEST.MF" @ONLY)
add_custom_command(
  OUTPUT "${jar_file}"
  COMMAND "${CMAKE_COMMAND}" -DCLASSES=${java_classes} -DMANIFEST=${CMAKE_BINARY_DIR}/MANIFEST.MF
          -DMODULE_INFO=${module_descriptor} -DLICENSE=${CMAKE_SOURCE_DIR}/LICENSE
          "-DLIBRARIES=windows-x86-64=${shipped_dll}$<SEMICOLON>windows-aarch64=${TIRK_ARM64_DLL}"
          -DJAR=${Java_JAR_EXECUTABLE} -DOUTPUT=${jar_file} -P "${CMAKE_SOURCE_DIR}/cmake/pack-jar.cmake"
  DEPENDS "${java_stamp}" "${module_descriptor}" "${shipped_dll}" tirk-console-shipped "${TIRK_ARM64_DLL}" "${CMAKE_BINARY_DIR}/MANIFEST.MF"
          "${CMAKE_SOURCE_DIR}/cmake/pack-jar.cmake" "${CMAKE_SOURCE_DIR}/LICENSE"
  COMMENT "Packing tirk-console.jar"
  VERBATIM)
add_custom_target(jar ALL DEPENDS "${jar_file}")

# The public API's javadoc, which must be doclint-clean, and the Maven repository that carries
# the jar with its sources, javadoc and POM.
set(javadoc_folder "${CMAKE_BINARY_DIR}/javadoc")
add_custom_command(
  OUTPUT "${javadoc_folder}/index.html"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${javadoc_folder}"
  COMMAND "${Java_JAVADOC_EXECUTABLE}" -encoding UTF-8 -docencoding UTF-8 -charset UTF-8 -quiet -Xdoclint:all -Werror -notimestamp -d "${javadoc_folder}"
          "${module_source}" ${java_sources}
  DEPENDS "${module_source}" ${java_sources}
  COMMENT "Writing the javadoc")
set(maven_repository "${CMAKE_BINARY_DIR}/dist/maven")
set(maven_pom "${maven_repository}/org/tirk/terminal/tirk-console/${PROJECT_VERSION}/tirk-console-${PROJECT_VERSION}.pom")
add_custom_command(
  OUTPUT "${maven_pom}"
  COMMAND "${CMAKE_COMMAND}" -DREPOSITORY=${maven_repository} -DVERSION=${PROJECT_VERSION} -DJAR=${jar_file}
          -DHOMEPAGE_URL=${PROJECT_HOMEPAGE_URL} -DLICENSE=${CMAKE_SOURCE_DIR}/LICENSE
          -DSOURCES=${CMAKE_SOURCE_DIR}/java -DJAVADOC=${javadoc_folder} -DPOM_TEMPLATE=${CMAKE_SOURCE_DIR}/java/pom.xml.in
          -DJAR_TOOL=${Java_JAR_EXECUTABLE} -P "${CMAKE_SOURCE_DIR}/cmake/maven-repo.cmake"
  DEPENDS "${jar_file}" "${javadoc_folder}/index.html" "${CMAKE_SOURCE_DIR}/java/pom.xml.in"
          "${CMAKE_SOURCE_DIR}/cmake/maven-repo.cmake" "${module_source}" ${java_sources} "${CMAKE_SOURCE_DIR}/LICENSE"
  COMMENT "Laying out the Maven repository")
add_custom_target(maven_repository ALL DEPENDS "${maven_pom}")

add_test(NAME maven_consumer
  COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/maven/run_consumer.py" "${maven_repository}" "${PROJECT_VERSION}"
          "${CMAKE_BINARY_DIR}/maven-consumer" "${test_reports}/maven_consumer.xml")

# The signatures of both DLLs, where the build signs them (test.sh does, with a throwaway
# certificate); the unsigned ARM64 DLL lies beside the signed one's folder.
if(TIRK_AUTHENTICODE_CERT)
  get_filename_component(arm64_build "${TIRK_ARM64_DLL}" DIRECTORY)
  add_test(NAME authenticode
    COMMAND /usr/bin/python3 "${CMAKE_SOURCE_DIR}/tests/pe/check_authenticode.py" "${CMAKE_BINARY_DIR}/authenticode"
            "${test_reports}/authenticode.xml" "${TIRK_AUTHENTICODE_CERT}" "${TIRK_AUTHENTICODE_KEY}" "${TIRK_SIGNING_TIME}"
            "x86-64=$<TARGET_FILE:tirk-console>,${shipped_dll}" "arm64=${arm64_build}/../unsigned/tirk-console.dll,${TIRK_ARM64_DLL}")
endif()

add_test(NAME jar_check
  COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/pe/check_jar.py" "${jar_file}" "${PROJECT_VERSION}"
          "windows-x86-64=${shipped_dll}" "windows-aarch64=${TIRK_ARM64_DLL}"
          "${test_reports}/jar_check.xml")

# The Java half on Windows: the JUnit suite on Temurin 25 for Windows under Wine, against the jar
# as built; the loader's cases and the demo on Temurin 11, 17, 21 and 25; users whose names the
# code page lacks. The suite calls the platform through the FFM API, so the newer JDK compiles
# it; the loader's cases are the Linux suite's own, run here too.
file(GLOB windows_jvm_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/winjvm/org/tirk/terminal/tty/impl/*.java")
set(loader_test_sources
  "${CMAKE_SOURCE_DIR}/tests/jvm/org/tirk/terminal/tty/impl/NativeLibraryTest.java"
  "${CMAKE_SOURCE_DIR}/tests/jvm/org/tirk/terminal/tty/impl/ChildJvm.java"
  "${CMAKE_SOURCE_DIR}/tests/jvm/org/tirk/probe/LoadProbe.java"
  "${CMAKE_SOURCE_DIR}/tests/jvm/org/tirk/probe/JUnitLines.java")
list(APPEND windows_jvm_sources ${loader_test_sources})
set(windows_jvm_classes "${CMAKE_BINARY_DIR}/windows-jvm/test-classes")
set(windows_jvm_runner "${CMAKE_SOURCE_DIR}/tests/winjvm/run_windows_jvm.py")
if(newer_jdk)
  add_custom_command(
    OUTPUT "${windows_jvm_classes}/org/tirk/terminal/tty/impl/Kernel32.class"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${windows_jvm_classes}"
    COMMAND "${newer_jdk}/bin/javac" -encoding UTF-8 --release 22 -cp "${java_classes}:${junit_classpath}" -d "${windows_jvm_classes}"
            ${windows_jvm_sources}
    DEPENDS ${windows_jvm_sources} "${java_stamp}"
    COMMENT "Compiling the Windows JVM tests")
  # The loader's cases again, for the older JVMs down to Java 8, which the classes are built for.
  set(loader_classes "${CMAKE_BINARY_DIR}/windows-jvm/loader-classes")
  add_custom_command(
    OUTPUT "${loader_classes}/org/tirk/terminal/tty/impl/NativeLibraryTest.class"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${loader_classes}"
    COMMAND "${Java_JAVAC_EXECUTABLE}" -encoding UTF-8 --release 8 -Xlint:-options -cp "${java_classes}:${junit_classpath}"
            -d "${loader_classes}" ${loader_test_sources}
    DEPENDS ${loader_test_sources} "${java_stamp}"
    COMMENT "Compiling the loader's tests for Java 8")

  # JUnit's console launcher, which the jobs run on Java 8 too: Debian's holds classes built for
  # Java 11, so the one Maven Central serves, pinned by its SHA-256.
  set(junit_launcher_path org/junit/platform/junit-platform-console-standalone/1.9.3/junit-platform-console-standalone-1.9.3.jar)
  set(junit_launcher "${CMAKE_BINARY_DIR}/junit-launcher/junit-platform-console-standalone-1.9.3.jar")
  add_custom_command(
    OUTPUT "${junit_launcher}"
    COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/maven_central.py" "${CMAKE_BINARY_DIR}/junit-launcher" "${junit_launcher_path}"
            45e90d893561d813a64559554647eea5e74acaa9c8cb1fed1340d192f34689e2
    COMMENT "Fetching JUnit's console launcher from Maven Central")

  # The kit of the Windows jobs of the CI workflow, which run tests/windows/*.cmd on it: the test
  # programs of both architectures (the ARM64 build's beside the ARM64 DLL) and the JVM suite's
  # classes and launcher. The suites below run the Windows job's own lines on it under Wine.
  get_filename_component(arm64_programs "${TIRK_ARM64_DLL}" DIRECTORY)
  get_filename_component(arm64_programs "${arm64_programs}/../programs" ABSOLUTE)
  set(kit "${CMAKE_BINARY_DIR}/windows-tests")
  add_custom_command(
    OUTPUT "${kit}/jvm/junit-platform-console-standalone.jar"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${kit}"
    COMMAND "${CMAKE_COMMAND}" -E copy_directory "${CMAKE_BINARY_DIR}/programs" "${kit}/x86-64"
    COMMAND "${CMAKE_COMMAND}" -E copy_directory "${arm64_programs}" "${kit}/aarch64"
    COMMAND "${CMAKE_COMMAND}" -E copy_directory "${java_classes}" "${kit}/jvm/classes"
    COMMAND "${CMAKE_COMMAND}" -E copy_directory "${windows_jvm_classes}" "${kit}/jvm/test-classes"
    COMMAND "${CMAKE_COMMAND}" -E copy_directory "${loader_classes}" "${kit}/jvm/loader-classes"
    COMMAND "${CMAKE_COMMAND}" -E copy "${junit_launcher}" "${kit}/jvm/junit-platform-console-standalone.jar"
    DEPENDS driver console-host tirk-console-decoy "${arm64_programs}/driver.exe" "${arm64_programs}/console-host.exe"
            "${arm64_programs}/decoy/tirk-console.dll" "${java_stamp}"
            "${windows_jvm_classes}/org/tirk/terminal/tty/impl/Kernel32.class"
            "${loader_classes}/org/tirk/terminal/tty/impl/NativeLibraryTest.class" "${junit_launcher}"
    COMMENT "Laying out the Windows test kit")
  add_custom_target(windows_tests ALL DEPENDS "${kit}/jvm/junit-platform-console-standalone.jar")
  # The Windows job's JVM step, from the workflow's own lines: on Java 25 with folders nothing can
  # be written in; on the older JVMs with the library laid out as the ARM64 job's (dist\ holding
  # the other architecture's under its own name), which no case may depend on; the entries Wine
  # cannot run reported.
  set(run_job /usr/bin/python3 "${CMAKE_SOURCE_DIR}/tests/windows/run_job.py")
  set(jvm_job_layout --file "dist/tirk-console.jar=${jar_file}" --file "windows-tests=${kit}")
  add_test(NAME windows_jvm
    COMMAND ${run_job} "${test_reports}/windows_jvm.xml" image=windows-latest,java=25,jvm=native --only jvm.cmd
            --runtimes "${CMAKE_BINARY_DIR}/windows-jre" --unwritable --file "dist/tirk-console.dll=${shipped_dll}"
            ${jvm_job_layout})
  add_test(NAME windows_jvms
    COMMAND ${run_job} "${test_reports}/windows_jvms.xml" image=windows-latest,java=11,jvm=native
            image=windows-latest,java=17,jvm=native image=windows-latest,java=21,jvm=native --only jvm.cmd
            --runtimes "${CMAKE_BINARY_DIR}/windows-jre" --unrunnable --env DLL=tirk-console-aarch64.dll
            --file "dist/tirk-console-aarch64.dll=${shipped_dll}" --file "dist/tirk-console.dll=${TIRK_ARM64_DLL}"
            ${jvm_job_layout})
  add_test(NAME windows_users
    COMMAND python3 "${windows_jvm_runner}" users "${CMAKE_BINARY_DIR}/windows-jre" "${test_reports}/windows_users.xml"
            "${jar_file}" "${shipped_dll}" "${java_classes}" "${loader_classes}")
  # Spring Boot, shaded, a folder, OSGi; their Maven plugins and Felix are kept in the build folder.
  add_test(NAME windows_packagings
    COMMAND python3 "${CMAKE_SOURCE_DIR}/tests/packaging/run_packagings.py" "${CMAKE_BINARY_DIR}"
            "${test_reports}/windows_packagings.xml" "${maven_repository}" "${PROJECT_VERSION}" "${jar_file}"
            "${CMAKE_BINARY_DIR}/packagings")
  set_tests_properties(windows_jvm windows_jvms windows_users windows_packagings PROPERTIES
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDLLOVERRIDES=mscoree,mshtml=")
else()
  add_test(NAME windows_jvm COMMAND sh -c
           "echo 'The Windows JVM suite needs a JDK 24 or later under /usr/lib/jvm to compile its tests'; exit 1")
endif()

# Benchmark against the bare Win32 calls, run here in smoke mode only; bench.sh runs it in full.
add_executable(wine_bench bench/wine/WineBench.cpp)
target_link_libraries(wine_bench PRIVATE jni_headers)
target_include_directories(wine_bench PRIVATE tests/common)
target_link_options(wine_bench PRIVATE -static)
target_compile_options(wine_bench PRIVATE -O2)
add_test(NAME bench_wine
  COMMAND python3 "${CMAKE_SOURCE_DIR}/bench/run.py" wine --smoke --windows-build "${CMAKE_BINARY_DIR}"
          --report "${test_reports}/bench_wine.xml")
