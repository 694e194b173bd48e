# Signs EXECUTABLE in place with Authenticode from the PKCS#12 file PKCS12 (password PASSWORD, or
# the first line of PASSWORD_FILE), verifies the signature against CAFILE (by default the
# certificates in the PKCS#12 file) and writes the signer's subject to SIGNER_FILE. Any failure
# fails the build and removes the executable, so that no unsigned or unverified one is left to
# ship. Run with cmake -P after the link; OSSLSIGNCODE and OPENSSL name the tools.
file(REMOVE ${SIGNER_FILE})
if(PASSWORD_FILE)
    set(sign_password -readpass ${PASSWORD_FILE})
    set(openssl_password -passin file:${PASSWORD_FILE})
else()
    set(sign_password -pass ${PASSWORD})
    set(openssl_password -passin pass:${PASSWORD})
endif()

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        file(REMOVE ${EXECUTABLE} ${EXECUTABLE}.signed)
        message(FATAL_ERROR "${what} failed (${result}):\n${output}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()

set(certificates ${EXECUTABLE}.certificates.pem)
run("Reading the certificates of ${PKCS12}" ${OPENSSL} pkcs12 -in ${PKCS12} -nokeys
    ${openssl_password} -out ${certificates})
if(NOT CAFILE)
    set(CAFILE ${certificates})
endif()
run("Reading the signer of ${PKCS12}" ${OPENSSL} pkcs12 -in ${PKCS12} -nokeys -clcerts
    ${openssl_password} -out ${certificates}.signer)
run("Reading the signer's subject" ${OPENSSL} x509 -in ${certificates}.signer -noout -subject
    -nameopt RFC2253)
string(REGEX REPLACE "^subject=[ ]*" "" subject "${output}")
string(STRIP "${subject}" subject)
file(REMOVE ${certificates}.signer)

file(REMOVE ${EXECUTABLE}.signed)
run("Signing ${EXECUTABLE}" ${OSSLSIGNCODE} sign -pkcs12 ${PKCS12} ${sign_password} -h sha256
    -n "BIOS Update Program" -in ${EXECUTABLE} -out ${EXECUTABLE}.signed)
file(RENAME ${EXECUTABLE}.signed ${EXECUTABLE})
run("Verifying the signature of ${EXECUTABLE}" ${OSSLSIGNCODE} verify -in ${EXECUTABLE}
    -CAfile ${CAFILE})
file(REMOVE ${certificates})
file(WRITE ${SIGNER_FILE} "${subject}\n")
