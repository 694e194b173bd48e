function(biosupdate_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                           -Wno-sign-conversion -Wcast-align -Wformat=2 -Wnull-dereference)
    if(BIOSUPDATE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
