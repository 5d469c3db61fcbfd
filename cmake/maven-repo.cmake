# Lays out the artifact org.tirk.terminal:tirk-console:VERSION in a Maven repository under
# REPOSITORY: the product JAR, a sources jar (SOURCES, the java/ folder), a javadoc jar
# (JAVADOC, a generated folder), both with LICENSE as META-INF/LICENSE, the POM made from
# POM_TEMPLATE (with VERSION and HOMEPAGE_URL), the artifact's
# maven-metadata.xml, and the .sha1 and .md5 files Maven checks for each of them.
set(artifact "${REPOSITORY}/org/tirk/terminal/tirk-console")
set(folder "${artifact}/${VERSION}")
set(base "${folder}/tirk-console-${VERSION}")
file(REMOVE_RECURSE "${artifact}")
file(MAKE_DIRECTORY "${folder}")

file(COPY_FILE "${JAR}" "${base}.jar")
set(stage "${folder}.stage")
file(MAKE_DIRECTORY "${stage}/sources/META-INF" "${stage}/licence/META-INF")
file(COPY "${SOURCES}/org" "${SOURCES}/module-info.java" DESTINATION "${stage}/sources")
file(COPY_FILE "${LICENSE}" "${stage}/sources/META-INF/LICENSE")
file(COPY_FILE "${LICENSE}" "${stage}/licence/META-INF/LICENSE")
execute_process(COMMAND "${JAR_TOOL}" --create --file "${base}-sources.jar" --no-manifest --date=2026-01-01T00:00:00Z
                        -C "${stage}/sources" . COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${JAR_TOOL}" --create --file "${base}-javadoc.jar" --no-manifest --date=2026-01-01T00:00:00Z
                        -C "${JAVADOC}" . -C "${stage}/licence" . COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${stage}")
set(PROJECT_VERSION "${VERSION}")
set(PROJECT_HOMEPAGE_URL "${HOMEPAGE_URL}")
configure_file("${POM_TEMPLATE}" "${base}.pom" @ONLY)
file(WRITE "${artifact}/maven-metadata.xml" "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<metadata>
  <groupId>org.tirk.terminal</groupId>
  <artifactId>tirk-console</artifactId>
  <versioning>
    <latest>${VERSION}</latest>
    <release>${VERSION}</release>
    <versions>
      <version>${VERSION}</version>
    </versions>
    <lastUpdated>20260101000000</lastUpdated>
  </versioning>
</metadata>
")

foreach(file "${base}.jar" "${base}-sources.jar" "${base}-javadoc.jar" "${base}.pom" "${artifact}/maven-metadata.xml")
  foreach(algorithm SHA1 MD5)
    file(${algorithm} "${file}" digest)
    string(TOLOWER "${algorithm}" extension)
    file(WRITE "${file}.${extension}" "${digest}")
  endforeach()
endforeach()
