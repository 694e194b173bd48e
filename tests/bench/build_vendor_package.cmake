# Builds a vendor's package into TREE: an image of another platform, another stamp, and signed with
# a throwaway self-signed certificate made here; on the way, proves that the build's package lint
# stops the same package made of our stand-ins. Arguments: SOURCE, TREE.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}")
    endif()
endfunction()

file(MAKE_DIRECTORY ${TREE})
run(openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=BIOSUpdate Test Vendor"
    -keyout ${TREE}/vendor.key -out ${TREE}/vendor.crt)
run(openssl pkcs12 -export -inkey ${TREE}/vendor.key -in ${TREE}/vendor.crt
    -passout pass:throwaway -out ${TREE}/vendor.p12)
run(${CMAKE_COMMAND} -S ${SOURCE} -B ${TREE} -G Ninja -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_TOOLCHAIN_FILE=${SOURCE}/cmake/mingw-i686.cmake -DBIOSUPDATE_IMAGE_NAME=abcde2a0.rom
    -DBIOSUPDATE_VERSION_STAMP=2.0.0001 -DBIOSUPDATE_SIGN_PKCS12=${TREE}/vendor.p12
    -DBIOSUPDATE_SIGN_PASSWORD=throwaway)
run(${CMAKE_COMMAND} --build ${TREE})
