# Builds a vendor's package into TREE with the stand-in payload: the image IMAGE, the stamp STAMP,
# with SIGN set signed with a throwaway self-signed certificate made here; with STAND_INS set, on
# the way, proves that the build's package lint stops the same package made of our stand-ins.
# Arguments: SOURCE, TREE, IMAGE, STAMP, SIGN, STAND_INS.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}")
    endif()
endfunction()

file(MAKE_DIRECTORY ${TREE})
set(signing)
if(SIGN)
    run(openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=BIOSUpdate Test Vendor"
        -keyout ${TREE}/vendor.key -out ${TREE}/vendor.crt)
    run(openssl pkcs12 -export -inkey ${TREE}/vendor.key -in ${TREE}/vendor.crt
        -passout pass:throwaway -out ${TREE}/vendor.p12)
    set(signing -DBIOSUPDATE_SIGN_PKCS12=${TREE}/vendor.p12 -DBIOSUPDATE_SIGN_PASSWORD=throwaway)
endif()
run(${CMAKE_COMMAND} -S ${SOURCE} -B ${TREE} -G Ninja -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_TOOLCHAIN_FILE=${SOURCE}/cmake/mingw-i686.cmake -DBIOSUPDATE_IMAGE_NAME=${IMAGE}
    -DBIOSUPDATE_VERSION_STAMP=${STAMP} ${signing} -DBIOSUPDATE_VENDOR_PAYLOAD=)
run(${CMAKE_COMMAND} --build ${TREE})
if(NOT STAND_INS)
    return()
endif()

# The same tree with our stand-ins as the vendor's payload: the package lint fails the build, says
# why and leaves no executable behind. Then the tree is built as before again.
file(COPY ${TREE}/default-payload/ DESTINATION ${TREE}/stand-ins)
run(${CMAKE_COMMAND} ${TREE} -DBIOSUPDATE_VENDOR_PAYLOAD=${TREE}/stand-ins)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${TREE} RESULT_VARIABLE result
                OUTPUT_VARIABLE output ERROR_VARIABLE output)
string(FIND "${output}" "error: this vendor package would flash nothing: it carries our stand-in flash utility (SWinFlash.exe)" said)
if(result EQUAL 0 OR said EQUAL -1 OR EXISTS ${TREE}/BIOSUpdate.exe)
    message(FATAL_ERROR "a vendor package of our stand-ins was not stopped by the lint "
                        "(${result}):\n${output}")
endif()
run(${CMAKE_COMMAND} ${TREE} -DBIOSUPDATE_VENDOR_PAYLOAD=)
run(${CMAKE_COMMAND} --build ${TREE})
