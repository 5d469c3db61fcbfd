# Packs a jar: the compiled CLASSES (optional), MANIFEST (optional), and LIBRARY with its
# SHA-256 under org/tirk/terminal/tty/impl/native/PLATFORM/, where the loader looks for them.
# DIGEST, when given, is recorded in place of the library's real SHA-256 (for a test jar
# that must look damaged). The timestamp is fixed so that the same inputs give the same jar.
get_filename_component(name "${LIBRARY}" NAME)
set(stage "${OUTPUT}.stage")
set(folder "${stage}/org/tirk/terminal/tty/impl/native/${PLATFORM}")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${folder}")
if(CLASSES)
  file(COPY "${CLASSES}/" DESTINATION "${stage}")
endif()
file(COPY_FILE "${LIBRARY}" "${folder}/${name}")
if(NOT DIGEST)
  file(SHA256 "${LIBRARY}" DIGEST)
endif()
file(WRITE "${folder}/${name}.sha256" "${DIGEST}  ${name}\n")
file(REMOVE "${OUTPUT}")
set(manifest_option)
if(MANIFEST)
  set(manifest_option --manifest "${MANIFEST}")
endif()
execute_process(
  COMMAND "${JAR}" --create --file "${OUTPUT}" ${manifest_option} --date=2026-01-01T00:00:00Z -C "${stage}" .
  COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${stage}")
