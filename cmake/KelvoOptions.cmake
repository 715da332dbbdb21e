# Compiler settings shared by every target of the project.
add_library(kelvo_options INTERFACE)
add_library(kelvo::options ALIAS kelvo_options)
target_compile_options(kelvo_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
# A section per function, so that a link can leave out what nothing calls (kelvo_fast_start).
target_compile_options(kelvo_options INTERFACE -ffunction-sections)
if(KELVO_WERROR)
  target_compile_options(kelvo_options INTERFACE -Werror)
endif()
# Sources include each other from the top of the tree: "Platform/System/Calendar.hpp".
target_include_directories(kelvo_options INTERFACE ${PROJECT_SOURCE_DIR})

# For the libraries of programs that start often: floor, round and lround become instructions
# instead of calls into libm.so, which would otherwise be loaded and relocated (its ifunc resolvers
# run) at each start for them alone. Nothing reads errno or the floating-point exception flags after
# a math call.
add_library(kelvo_inline_math INTERFACE)
add_library(kelvo::inline_math ALIAS kelvo_inline_math)
target_compile_options(kelvo_inline_math INTERFACE -fno-math-errno -fno-trapping-math)

# Programs that start often load no shared library they make no call into (--as-needed), and carry
# the C++ runtime inside (-static-libstdc++ -static-libgcc): loading and relocating libstdc++.so
# took more than everything else such a program does at start. Not with sanitizers, whose
# runtimes expect the shared C++ runtime. Unused sections are left out (--gc-sections), for fewer
# pages to map. The program stays position-independent with read-only relocations: linked at a fixed
# address without RELRO it started 0.25 ms sooner, not worth the hardening for a program that reads
# files another process writes.
function(kelvo_fast_start target)
  target_link_options(${target} PRIVATE -Wl,--as-needed -Wl,-O1)
  if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    return()
  endif()
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--gc-sections)
endfunction()

# Every program finds its bundle manifest beside its executable: <exe>.bundle.json. Installed with
# the program's install component.
function(kelvo_bundle_manifest target manifest component)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${manifest} $<TARGET_FILE:${target}>.bundle.json
    VERBATIM)
  install(FILES ${manifest} DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME ${target}.bundle.json
    COMPONENT ${component})
endfunction()
