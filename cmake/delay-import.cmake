# Delay-loaded system DLLs. Wine maps a DLL and everything it imports before
# the program's first line runs, and COM, the shell and the internet DLLs
# cost more start-up time than the rest of the program together, though the
# window needs none of them to show. Linked through these libraries, such a
# DLL is loaded by the first call into it (MinGW-w64's __delayLoadHelper2).
#
# delay_import_library(<dll> <out var>): makes lib<dll>_delay.a from the
# toolchain's import library of the same DLL and names it in <out var>.
function(delay_import_library dll out)
    set(import_lib /usr/${TOOLCHAIN_PREFIX}/lib/lib${dll}.a)
    set(dir ${CMAKE_BINARY_DIR}/delayimp)
    set(def ${dir}/${dll}.def)
    set(lib ${dir}/lib${dll}_delay.a)
    if(NOT EXISTS ${lib} OR ${import_lib} IS_NEWER_THAN ${lib})
        file(MAKE_DIRECTORY ${dir})
        execute_process(COMMAND ${TOOLCHAIN_PREFIX}-nm ${import_lib}
                        OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "nm could not read ${import_lib}")
        endif()
        # Import thunks are "__imp_<name>"; on i686 the name carries the C
        # underscore and the stdcall "@<bytes>", which -k drops again.
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            set(prefix "__imp__")
            set(kill_at -k)
        else()
            set(prefix "__imp_")
            set(kill_at)
        endif()
        string(REGEX MATCHALL " I ${prefix}[^\n]+" entries "${symbols}")
        set(text "LIBRARY ${dll}.dll\nEXPORTS\n")
        foreach(entry ${entries})
            string(REPLACE " I ${prefix}" "" name "${entry}")
            string(APPEND text "${name}\n")
        endforeach()
        file(WRITE ${def} "${text}")
        execute_process(COMMAND ${TOOLCHAIN_PREFIX}-dlltool ${kill_at} -d ${def} -D ${dll}.dll -y ${lib}
                        RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "dlltool could not make ${lib}")
        endif()
    endif()
    set(${out} ${lib} PARENT_SCOPE)
endfunction()
