# ctest require_list_key: configure with UPDATE_REQUIRE_LIST_KEY refuses a
# build without a key and one with a key under 3072 bits, and takes the
# test key. Run with -DSOURCE=<checkout> -DWORK=<scratch> -DSTRONG=<pem>
# -DTOOLCHAIN=<file>.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND /usr/bin/python3 -c
    "import sys; from cryptography.hazmat.primitives.asymmetric import rsa; from cryptography.hazmat.primitives import serialization as s; k = rsa.generate_private_key(public_exponent=65537, key_size=2048); open(sys.argv[1], 'wb').write(k.public_key().public_bytes(s.Encoding.PEM, s.PublicFormat.SubjectPublicKeyInfo))"
    ${WORK}/weak.pub.pem RESULT_VARIABLE made)
if(NOT made EQUAL 0)
    message(FATAL_ERROR "could not make the 2048-bit key")
endif()
function(configure name key expect_ok pattern)
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/${name} -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
                            -DUPDATE_REQUIRE_LIST_KEY=ON "-DUPDATE_LIST_PUBLIC_KEY=${key}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(expect_ok AND NOT result EQUAL 0)
        message(FATAL_ERROR "${name}: configure failed:\n${err}")
    endif()
    if(NOT expect_ok AND (result EQUAL 0 OR NOT err MATCHES "${pattern}"))
        message(FATAL_ERROR "${name}: configure should have failed with '${pattern}' (result ${result}):\n${err}")
    endif()
endfunction()
configure(none "" FALSE "names no key")
configure(weak ${WORK}/weak.pub.pem FALSE "read: .2048.")
configure(strong ${STRONG} TRUE "")
file(REMOVE_RECURSE ${WORK})
