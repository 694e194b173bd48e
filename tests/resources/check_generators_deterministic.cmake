# Runs the artwork and payload generators twice, each time in a fresh process and folder, and
# compares every file's hash. Arguments: PYTHON, ASSETS (tools/assets), WORK (a scratch folder).
set(expected_files PHLASH.INI mainframe.ico mfc42.dll mirtsf13.imc progress.bmp screen.bmp
                   screen_alt.bmp screen_ko.bmp)
foreach(run first second)
    file(REMOVE_RECURSE ${WORK}/${run})
    execute_process(COMMAND ${PYTHON} ${ASSETS}/generate_artwork.py ${WORK}/${run}
                    RESULT_VARIABLE artwork_result)
    execute_process(COMMAND ${PYTHON} ${ASSETS}/generate_payload.py ${WORK}/${run} mfc42.dll
                    RESULT_VARIABLE payload_result)
    if(NOT artwork_result EQUAL 0 OR NOT payload_result EQUAL 0)
        message(FATAL_ERROR "generators failed: artwork ${artwork_result}, payload ${payload_result}")
    endif()
    file(GLOB ${run}_files RELATIVE ${WORK}/${run} ${WORK}/${run}/*)
    list(SORT ${run}_files)
    if(NOT "${${run}_files}" STREQUAL "${expected_files}")
        message(FATAL_ERROR "run ${run} wrote ${${run}_files}, expected ${expected_files}")
    endif()
endforeach()
foreach(name IN LISTS expected_files)
    file(SHA256 ${WORK}/first/${name} first_hash)
    file(SHA256 ${WORK}/second/${name} second_hash)
    if(NOT first_hash STREQUAL second_hash)
        message(FATAL_ERROR "${name} differs between two runs")
    endif()
endforeach()
list(LENGTH expected_files count)
message(STATUS "${count} generated files identical across two runs")
