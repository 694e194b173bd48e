# Configures cmake/Payload.cmake on its own with vendor payload folders that are complete, partial
# or absent, and checks what it decides. Arguments: SOURCE (the repository), WORK (a scratch folder).
set(payload_files SWinFlash.exe mfc42.dll msvcp60.dll msvcrt.dll PHLASH.INI PhlashLc.dll
                  Phlash9X.vxd PhlashNT.sys mirtsf13.imc WINPHLASH.GID)

function(configure_payload name vendor_folder)
    file(REMOVE_RECURSE ${WORK}/${name})
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE}/tests/resources/payload_configuration
                            -B ${WORK}/${name} -DBIOSUPDATE_SOURCE_DIR=${SOURCE}
                            -DBIOSUPDATE_VENDOR_PAYLOAD=${vendor_folder}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    set(result ${result} PARENT_SCOPE)
    string(REGEX REPLACE "[ \t\r\n]+" " " output "${output}")
    set(output "${output}" PARENT_SCOPE)
endfunction()

function(expect_cache name entry expected)
    load_cache(${WORK}/${name} READ_WITH_PREFIX found_ ${entry})
    if(NOT "${found_${entry}}" STREQUAL "${expected}")
        message(FATAL_ERROR "${name}: ${entry} is '${found_${entry}}', expected '${expected}'")
    endif()
endfunction()

# Complete: every file embedded from the vendor's folder, no placeholders.
file(REMOVE_RECURSE ${WORK}/complete-vendor)
foreach(file_name IN LISTS payload_files)
    file(WRITE ${WORK}/complete-vendor/${file_name} "vendor ${file_name}")
endforeach()
configure_payload(complete ${WORK}/complete-vendor)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "a complete vendor folder was refused: ${output}")
endif()
expect_cache(complete BIOSUPDATE_EMBEDDED_PAYLOAD_DIR ${WORK}/complete-vendor)
expect_cache(complete BIOSUPDATE_EMBEDDED_PLACEHOLDERS "")

# Partial: configuring fails and names every missing file; a folder named like a file is no file.
file(REMOVE_RECURSE ${WORK}/partial-vendor)
file(WRITE ${WORK}/partial-vendor/SWinFlash.exe "vendor")
file(WRITE ${WORK}/partial-vendor/PHLASH.INI "vendor")
file(MAKE_DIRECTORY ${WORK}/partial-vendor/msvcrt.dll)
configure_payload(partial ${WORK}/partial-vendor)
if(result EQUAL 0)
    message(FATAL_ERROR "a partial vendor folder was accepted")
endif()
string(REGEX MATCH "lacks these payload files: [^\n]*" missing "${output}")
foreach(file_name IN LISTS payload_files)
    string(FIND "${missing}" "${file_name}" position)
    if(file_name STREQUAL "SWinFlash.exe" OR file_name STREQUAL "PHLASH.INI")
        if(NOT position EQUAL -1)
            message(FATAL_ERROR "present ${file_name} reported missing: ${missing}")
        endif()
    elseif(position EQUAL -1)
        message(FATAL_ERROR "missing ${file_name} not named: ${output}")
    endif()
endforeach()

# None: the build's own stand-ins.
configure_payload(default "")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the default payload was refused: ${output}")
endif()
expect_cache(default BIOSUPDATE_EMBEDDED_PAYLOAD_DIR ${WORK}/default/default-payload)
expect_cache(default BIOSUPDATE_EMBEDDED_PLACEHOLDERS
             "mfc42.dll;msvcp60.dll;msvcrt.dll;PhlashLc.dll;Phlash9X.vxd;PhlashNT.sys;WINPHLASH.GID")
message(STATUS "complete, partial and absent vendor payloads configured as expected")
