# Compile options shared by every target of the native build.
function(za32_compile_options)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  if(ZA32_WERROR)
    add_compile_options(-Werror)
  endif()
  if(ZA32_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
  if(ZA32_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  endif()
endfunction()

# The program interpreter of this system, so that libza32.so can be started as a
# program: taken from the running cmake binary.
function(za32_elf_interpreter out)
  execute_process(COMMAND readelf -l ${CMAKE_COMMAND} OUTPUT_VARIABLE headers
                  ERROR_QUIET)
  string(REGEX MATCH "interpreter: ([^]]+)\\]" _ "${headers}")
  if(CMAKE_MATCH_1)
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "/lib64/ld-linux-x86-64.so.2" PARENT_SCOPE)
  endif()
endfunction()
