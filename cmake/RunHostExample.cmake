# Runs the documentation's host example on a fresh folder, as a reader would, and checks that it exits with
# 0, that its failing call showed an error object, that it finished, and that it left its workspace file.
#   cmake -DEXAMPLE=path -DFOLDER=path [-DEMULATOR=path] -P RunHostExample.cmake
file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")
execute_process(COMMAND ${EMULATOR} "${EXAMPLE}" "${FOLDER}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("${output}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "host-example exited with ${result}: ${errors}")
endif()
# What was written must come back from the file: the secure value decrypted to its 19 characters, the tree
# three levels deep.
foreach(line "    Password = \\(secure, 19 characters\\)\n" "      Orders entry \\(LegendEntry\\)\n"
             "  Warehouse \\(DataSourceType 13\\)\n")
    if(NOT output MATCHES "${line}")
        message(FATAL_ERROR "host-example did not read back the line matching ${line}")
    endif()
endforeach()
if(NOT output MATCHES "Removing an unknown object failed as expected: code 2, \"[^\"]+\"")
    message(FATAL_ERROR "host-example did not show the error object of its failing call")
endif()
if(NOT output MATCHES "\nhost-example: all steps done\n$")
    message(FATAL_ERROR "host-example did not finish")
endif()
if(NOT EXISTS "${FOLDER}/host-example.veskdb")
    message(FATAL_ERROR "host-example left no workspace file in ${FOLDER}")
endif()
file(REMOVE_RECURSE "${FOLDER}")
