# Warning flags shared by every ktutil target.
function(ktu_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow=local -Wnon-virtual-dtor)
  if(KTU_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
