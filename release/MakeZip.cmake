# cmake -DNAME=... -DDIST=... -DFILES=... -DSDK_FILES=... -P MakeZip.cmake
# Lays out NAME/ with FILES and NAME/sdk/ with SDK_FILES, zips it into DIST/NAME.zip (every
# entry with the same fixed time, so the same inputs give the same zip) and writes the zip's
# SHA-256 in the form sha256sum -c reads.
set(stage ${DIST}/stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage}/${NAME}/sdk)
file(COPY ${FILES} DESTINATION ${stage}/${NAME})
file(COPY ${SDK_FILES} DESTINATION ${stage}/${NAME}/sdk)
set(zip ${DIST}/${NAME}.zip)
file(REMOVE ${zip})
file(GLOB_RECURSE entries RELATIVE ${stage} ${stage}/*)
list(SORT entries)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip "--mtime=2024-01-01 00:00:00 UTC" ${entries}
  WORKING_DIRECTORY ${stage}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "The zip ${zip} cannot be written")
endif()
file(REMOVE_RECURSE ${stage})
file(SHA256 ${zip} hash)
file(WRITE ${zip}.sha256 "${hash}  ${NAME}.zip\n")
