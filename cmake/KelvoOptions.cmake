# Compiler settings shared by every target of the project.
add_library(kelvo_options INTERFACE)
add_library(kelvo::options ALIAS kelvo_options)
target_compile_options(kelvo_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(KELVO_WERROR)
  target_compile_options(kelvo_options INTERFACE -Werror)
endif()
# Sources include each other from the top of the tree: "Platform/System/Calendar.hpp".
target_include_directories(kelvo_options INTERFACE ${PROJECT_SOURCE_DIR})

# Programs that start often load no shared library they make no call into (--as-needed). The C++
# runtime stays shared: libsimdjson, itself C++, loads libstdc++.so in any case, and a static copy
# beside it only doubled the runtime's start-up work.
function(kelvo_fast_start target)
  target_link_options(${target} PRIVATE -Wl,--as-needed -Wl,-O1)
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
