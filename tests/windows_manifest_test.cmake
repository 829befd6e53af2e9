# cmake -DOBJDUMP=... -DPROGRAM=X.exe -P windows_manifest_test.cmake: the program carries an
# application manifest (resource type 24, RT_MANIFEST, id 1) that declares long path awareness
# and UTF-8 as the active code page.
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
if(NOT headers MATCHES "Entry: ID: 0x000018[^\n]*\n[^\n]*Name Table[^\n]*\n[^\n]*Entry: ID: 0x000001,")
  message(FATAL_ERROR "${PROGRAM}: no manifest resource (type 24, id 1)")
endif()
file(STRINGS ${PROGRAM} lines REGEX "longPathAware|activeCodePage")
string(JOIN "\n" manifest ${lines})
if(NOT manifest MATCHES "<longPathAware[^>]*>true</longPathAware>")
  message(FATAL_ERROR "${PROGRAM}: the manifest does not declare longPathAware")
endif()
if(NOT manifest MATCHES "<activeCodePage[^>]*>UTF-8</activeCodePage>")
  message(FATAL_ERROR "${PROGRAM}: the manifest does not declare the UTF-8 code page")
endif()
