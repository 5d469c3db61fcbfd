# Packs a jar: the compiled CLASSES, the MANIFEST (optional), LICENSE as META-INF/LICENSE, and
# each library of LIBRARIES, a list of PLATFORM=PATH, with its SHA-256 under
# org/tirk/terminal/tty/impl/native/PLATFORM/, where the loader looks for them. The libraries
# are stored uncompressed: the loader reads one at every start.
# MODULE_INFO (optional), a module-info.class, goes to the root: Java 9 and later read it there
# and Java 8 never loads it, so the classes stay Java 8 bytecode without a multi-release jar,
# whose directory costs every JVM that opens the jar a lambda's start-up.
# The timestamp is fixed so that the same inputs give the same jar.
set(stage "${OUTPUT}.stage")
file(REMOVE_RECURSE "${stage}")
file(COPY "${CLASSES}/" DESTINATION "${stage}/classes")
file(MAKE_DIRECTORY "${stage}/classes/META-INF")
file(COPY_FILE "${LICENSE}" "${stage}/classes/META-INF/LICENSE")
if(MODULE_INFO)
  file(COPY_FILE "${MODULE_INFO}" "${stage}/classes/module-info.class")
endif()
foreach(entry IN LISTS LIBRARIES)
  string(REGEX MATCH "^([^=]+)=(.+)$" pair "${entry}")
  if(NOT pair)
    message(FATAL_ERROR "LIBRARIES entry '${entry}' is not PLATFORM=PATH")
  endif()
  set(platform "${CMAKE_MATCH_1}")
  set(library "${CMAKE_MATCH_2}")
  if(NOT EXISTS "${library}")
    message(FATAL_ERROR "The ${platform} library ${library} has not been built")
  endif()
  get_filename_component(name "${library}" NAME)
  set(folder "${stage}/natives/org/tirk/terminal/tty/impl/native/${platform}")
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${library}" "${folder}/${name}")
  file(SHA256 "${library}" digest)
  file(WRITE "${folder}/${name}.sha256" "${digest}  ${name}\n")
endforeach()
file(REMOVE "${OUTPUT}")
set(manifest_option)
if(MANIFEST)
  set(manifest_option --manifest "${MANIFEST}")
endif()
set(date --date=2026-01-01T00:00:00Z)
execute_process(
  COMMAND "${JAR}" --create --file "${OUTPUT}" ${manifest_option} ${date} -C "${stage}/classes" .
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(
  COMMAND "${JAR}" --update --file "${OUTPUT}" --no-compress ${date} -C "${stage}/natives" .
  COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${stage}")
