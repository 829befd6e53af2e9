# cmake -DGZIP=gzip -DINPUT=file -DOUTPUT=file.gz -P gzip.cmake: gzip -9n into OUTPUT.
execute_process(COMMAND ${GZIP} -9nc ${INPUT} OUTPUT_FILE ${OUTPUT} COMMAND_ERROR_IS_FATAL ANY)
