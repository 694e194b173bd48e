# Configures cmake/Package.cmake with release options gone wrong: each is refused, naming what is
# wrong; a well-formed vendor image name and stamp are built in. Arguments: SOURCE, WORK.
function(configure_package)
    file(REMOVE_RECURSE ${WORK}/package-options)
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE}/tests/resources/payload_configuration
                            -B ${WORK}/package-options -DBIOSUPDATE_SOURCE_DIR=${SOURCE} ${ARGN}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    string(REGEX REPLACE "[ \t\r\n]+" " " output "${output}")
    set(result ${result} PARENT_SCOPE)
    set(output "${output}" PARENT_SCOPE)
endfunction()

function(expect_refused option value reason)
    configure_package("-D${option}=${value}")
    if(result EQUAL 0 OR NOT output MATCHES "${option} .*${reason}")
        message(FATAL_ERROR "${option}=\"${value}\" was not refused for '${reason}': ${output}")
    endif()
endfunction()

expect_refused(BIOSUPDATE_IMAGE_NAME "mirts f13.imc" "only ASCII letters")
expect_refused(BIOSUPDATE_IMAGE_NAME "mirts\"13.imc" "only ASCII letters")
expect_refused(BIOSUPDATE_IMAGE_NAME "mirtsf13a.imc" "longer than 12 characters")
expect_refused(BIOSUPDATE_IMAGE_NAME "mirtsg13.imc" "hexadecimal digit at position 5")
expect_refused(BIOSUPDATE_IMAGE_NAME "mirt" "hexadecimal digit at position 5")
expect_refused(BIOSUPDATE_IMAGE_NAME "mirts0x13.im" "without a 0x prefix")
expect_refused(BIOSUPDATE_IMAGE_NAME "Bios.bak" "another file of the work folder")
expect_refused(BIOSUPDATE_VERSION_STAMP "" "is empty")
string(REPEAT "9" 256 long_stamp)
expect_refused(BIOSUPDATE_VERSION_STAMP "${long_stamp}" "at most 255")
expect_refused(BIOSUPDATE_VERSION_STAMP "1.0\t2" "other than printable ASCII")

configure_package(-DBIOSUPDATE_IMAGE_NAME=abcde2a0.rom "-DBIOSUPDATE_VERSION_STAMP=2.0 \"beta\"")
file(READ ${WORK}/package-options/generated/payload_names.h names)
file(READ ${WORK}/package-options/generated/version_stamp_text.h stamp)
if(NOT result EQUAL 0 OR NOT names MATCHES "IMAGE_NAME \"abcde2a0.rom\""
   OR NOT stamp MATCHES "STAMP \"2.0 \\\\\"beta\\\\\"\"")
    message(FATAL_ERROR "a vendor's image name and stamp were not built in: ${output}")
endif()
message(STATUS "bad image names and stamps refused, a vendor's taken")
