# Compiler settings shared by every target of the project.
add_library(kelvo_options INTERFACE)
add_library(kelvo::options ALIAS kelvo_options)
target_compile_options(kelvo_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(KELVO_WERROR)
  target_compile_options(kelvo_options INTERFACE -Werror)
endif()
# Sources include each other from the top of the tree: "Platform/System/Calendar.hpp".
target_include_directories(kelvo_options INTERFACE ${PROJECT_SOURCE_DIR})

# Programs that start often load no shared library they make no call into (--as-needed), and carry
# the C++ runtime inside (-static-libstdc++ -static-libgcc): loading and relocating libstdc++.so
# took more than everything else such a program does at start. Not with sanitizers, whose
# runtimes expect the shared C++ runtime.
function(kelvo_fast_start target)
  target_link_options(${target} PRIVATE -Wl,--as-needed -Wl,-O1)
  if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
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
