# Builds a vendor's package into TREE with the stand-in payload: the image IMAGE, the stamp STAMP,
# and with SIGN set signed with a throwaway self-signed certificate made here. Arguments: SOURCE,
# TREE, IMAGE, STAMP, SIGN.
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
    -DBIOSUPDATE_VERSION_STAMP=${STAMP} ${signing})
run(${CMAKE_COMMAND} --build ${TREE})
