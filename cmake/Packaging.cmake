# Debian packages, one per install component: `scripts/package` (or `cpack -G DEB` in a build tree
# configured with CMAKE_INSTALL_PREFIX=/usr). Manual pages, copyright and changelog are built here;
# the package metadata is set below and CPack computes the library dependencies with dpkg-shlibdeps.
set(kelvo_debian_dir ${CMAKE_CURRENT_LIST_DIR}/debian)
set(kelvo_doc_build ${CMAKE_BINARY_DIR}/share/doc-build)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
find_program(HELP2MAN_EXECUTABLE help2man)

get_target_property(kelvo_bridge_soversion KelvoWidgetBridge SOVERSION)
# component → Debian package name
set(kelvo_package_WidgetHost widget-host)
set(kelvo_package_KelvoWidget kelvo-widget)
set(kelvo_package_Bridge libkelvowidgetbridge${kelvo_bridge_soversion})
set(kelvo_package_BridgeDev libkelvowidgetbridge-dev)
set(kelvo_package_StandIn kelvo-app-standin)
set(kelvo_components Bridge BridgeDev KelvoWidget)
if(KELVO_BUILD_HOST)
  list(APPEND kelvo_components WidgetHost StandIn)
endif()

# Compressed without a time stamp, as Debian wants documentation (gzip -9n).
function(kelvo_gzip input output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_EXECUTABLE} -9nc ${input} > ${output}
    DEPENDS ${input})
endfunction()

# Every package carries the copyright file and the changelog under /usr/share/doc/<package>.
kelvo_gzip(${kelvo_debian_dir}/changelog ${kelvo_doc_build}/changelog.gz)
set(kelvo_doc_outputs ${kelvo_doc_build}/changelog.gz)
foreach(component IN LISTS kelvo_components)
  install(FILES ${kelvo_debian_dir}/copyright ${kelvo_doc_build}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${kelvo_package_${component}} COMPONENT ${component})
endforeach()

# Manual pages: from each program's --help with help2man, or written by hand where the program has
# no command line of its own (KelvoWidget).
kelvo_gzip(${kelvo_debian_dir}/KelvoWidget.1 ${kelvo_doc_build}/KelvoWidget.1.gz)
list(APPEND kelvo_doc_outputs ${kelvo_doc_build}/KelvoWidget.1.gz)
install(FILES ${kelvo_doc_build}/KelvoWidget.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT KelvoWidget)
if(KELVO_BUILD_HOST)
  if(NOT HELP2MAN_EXECUTABLE)
    message(STATUS "help2man not found (scripts/setup --tests installs it): the packages will lack the manual "
                   "pages of the host's programs")
  else()
    set(kelvo_man_entries "widget-host|WidgetHost|per-user host of desktop widgets"
                          "widgetctl|WidgetHost|place, press, list and render the widget host's widgets"
                          "widget-render|WidgetHost|draw one entry of a widget extension without a desktop"
                          "kelvo-app|StandIn|demonstration stand-in for the Kelvo time tracker")
    if(TARGET widget-gallery)
      list(APPEND kelvo_man_entries "widget-gallery|WidgetHost|the installed widgets with live previews, to place them")
    endif()
    foreach(entry IN LISTS kelvo_man_entries)
      string(REPLACE "|" ";" parts "${entry}")
      list(GET parts 0 program)
      list(GET parts 1 component)
      list(GET parts 2 summary)
      # A program with subcommands gets a section on each, from its own --help.
      set(sections "")
      set(include "")
      if(program STREQUAL "widgetctl")
        set(sections ${kelvo_doc_build}/${program}.sections)
        add_custom_command(OUTPUT ${sections}
          COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DOUTPUT=${sections}
                  -P ${kelvo_debian_dir}/subcommands.cmake
          DEPENDS ${program} ${kelvo_debian_dir}/subcommands.cmake VERBATIM)
        set(include --include=${sections})
      endif()
      # The version comes from the program's --version.
      add_custom_command(OUTPUT ${kelvo_doc_build}/${program}.1
        COMMAND ${HELP2MAN_EXECUTABLE} --no-info --no-discard-stderr ${include}
                --name=${summary} --section=1 --output=${kelvo_doc_build}/${program}.1 $<TARGET_FILE:${program}>
        DEPENDS ${program} ${sections} VERBATIM)
      kelvo_gzip(${kelvo_doc_build}/${program}.1 ${kelvo_doc_build}/${program}.1.gz)
      list(APPEND kelvo_doc_outputs ${kelvo_doc_build}/${program}.1.gz)
      install(FILES ${kelvo_doc_build}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
    endforeach()
  endif()
endif()
add_custom_target(kelvo_package_docs ALL DEPENDS ${kelvo_doc_outputs})

# What lintian reports but is intended, each with its reason (also listed in the README).
foreach(component KelvoWidget StandIn Bridge)
  if(component IN_LIST kelvo_components)
    install(FILES ${kelvo_debian_dir}/${kelvo_package_${component}}.lintian-overrides
      DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${kelvo_package_${component}}
      COMPONENT ${component})
  endif()
endforeach()

# The systemd user unit is enabled for every user's graphical session the way debhelper does it for
# user units (deb-systemd-helper --user), so that removal and purge clean up the links again.
configure_file(${kelvo_debian_dir}/widget-host.postinst ${CMAKE_BINARY_DIR}/debian/widget-host/postinst COPYONLY)
configure_file(${kelvo_debian_dir}/widget-host.postrm ${CMAKE_BINARY_DIR}/debian/widget-host/postrm COPYONLY)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvo-widget)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kelvo)
set(CPACK_PACKAGE_CONTACT "Kelvo widget developers <widget@kelvo.app>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_COMPONENTS_ALL ${kelvo_components})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kelvo.app)

foreach(component IN LISTS kelvo_components)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${kelvo_package_${component}})
endforeach()
set(exact "(= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_WIDGETHOST_PACKAGE_SECTION x11)
# postinst and postrm enable and clean up the user unit with deb-systemd-helper --user. The views
# are drawn in Inter and Quicksand: without them fontconfig falls back to a wider family without a
# word and texts are cut shorter. Emoji and names in Chinese, Japanese or Korean need fallback fonts.
set(CPACK_DEBIAN_WIDGETHOST_PACKAGE_DEPENDS "init-system-helpers (>= 1.58), fonts-inter, fonts-quicksand")
set(CPACK_DEBIAN_WIDGETHOST_PACKAGE_RECOMMENDS "dbus-user-session, xdg-utils, fonts-noto-color-emoji")
set(CPACK_DEBIAN_WIDGETHOST_PACKAGE_SUGGESTS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_WIDGETHOST_PACKAGE_CONTROL_EXTRA
  ${CMAKE_BINARY_DIR}/debian/widget-host/postinst ${CMAKE_BINARY_DIR}/debian/widget-host/postrm)
set(CPACK_DEBIAN_WIDGETHOST_DESCRIPTION "per-user host of desktop widgets
The widget host shows desktop widgets: it starts the installed widget
extensions, draws their views on the desktop (layer-shell on Wayland,
window-manager hints on X11) and forwards clicks to them. It starts with
the graphical session through a systemd user unit, or on the first call
on the session bus.
.
This package also carries widgetctl, which places, lists, presses and
renders widgets from the command line, and widget-render, which draws one
entry of a widget extension without a desktop.")

set(CPACK_DEBIAN_KELVOWIDGET_PACKAGE_SECTION x11)
# KelvoWidget loads libsystemd only when it first talks to the bus, so shlibdeps cannot see it.
set(CPACK_DEBIAN_KELVOWIDGET_PACKAGE_DEPENDS "widget-host ${exact}, libsystemd0")
set(CPACK_DEBIAN_KELVOWIDGET_DESCRIPTION "Kelvo time-tracking widget for the desktop
The Kelvo widget shows the running timer of the Kelvo time tracker (entry,
project, live elapsed time), today's tracked total and the recent entries,
and starts tracking, stops tracking or restarts a recent entry with one
click. It runs as an extension of the widget host.")

set(CPACK_DEBIAN_BRIDGE_PACKAGE_SECTION libs)
# The loader cache is refreshed through dpkg's ldconfig trigger; the maintainer scripts given here
# keep CPack from writing ones that call ldconfig directly.
set(CPACK_DEBIAN_BRIDGE_PACKAGE_CONTROL_EXTRA
  ${kelvo_debian_dir}/library/triggers ${kelvo_debian_dir}/library/postinst ${kelvo_debian_dir}/library/postrm)
set(CPACK_DEBIAN_BRIDGE_DESCRIPTION "Kelvo desktop widget bridge library
The library through which the Kelvo application reaches its desktop
widget: it asks the widget host to reload the widget's timelines, finds
the container shared with the widget and counts the placed widgets.")

set(CPACK_DEBIAN_BRIDGEDEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_BRIDGEDEV_PACKAGE_DEPENDS "libkelvowidgetbridge${kelvo_bridge_soversion} ${exact}")
set(CPACK_DEBIAN_BRIDGEDEV_DESCRIPTION "Kelvo desktop widget bridge library - development files
The C header, the pkg-config file and the CMake package for building
programs against the Kelvo desktop widget bridge library.")

set(CPACK_DEBIAN_STANDIN_PACKAGE_SECTION misc)
# It loads the bridge at run time, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_STANDIN_PACKAGE_DEPENDS "libkelvowidgetbridge${kelvo_bridge_soversion} ${exact}")
set(CPACK_DEBIAN_STANDIN_PACKAGE_RECOMMENDS "kelvo-widget")
set(CPACK_DEBIAN_STANDIN_DESCRIPTION "demonstration stand-in for the Kelvo time tracker
A small time tracker that plays the Kelvo application for the Kelvo
desktop widget, for demonstrations and tests: it keeps time entries in
SQLite, writes the widget's snapshot and carries out the widget's
commands. It is not the Kelvo application.")

include(CPack)
