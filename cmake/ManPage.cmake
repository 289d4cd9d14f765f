# Installs a manual page: configured with the project's variables (the
# version), compressed as Debian wants it, into man1. With WRITER, the
# configured page is a template that the build-time program WRITER turns
# into the page (WRITER TEMPLATE PAGE).
function(tessary_install_man_page source)
  cmake_parse_arguments(ARG "" "WRITER" "" ${ARGN})
  get_filename_component(name ${source} NAME_WE)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  if(ARG_WRITER)
    configure_file(${source} ${page}.template @ONLY)
    add_custom_command(
      OUTPUT ${page}
      COMMAND ${ARG_WRITER} ${page}.template ${page}
      DEPENDS ${ARG_WRITER} ${page}.template
      COMMENT "Writing the manual page ${name}(1)")
  else()
    configure_file(${source} ${page} @ONLY)
  endif()
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND gzip -9 -n -c ${page} > ${page}.gz
    DEPENDS ${page}
    COMMENT "Compressing the manual page ${name}(1)")
  add_custom_target(${name}_man_page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
