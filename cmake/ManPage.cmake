# Installs a manual page: configured with the project's variables (the
# version), compressed as Debian wants it, into man1.
function(tessary_install_man_page source)
  get_filename_component(name ${source} NAME_WE)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  configure_file(${source} ${page} @ONLY)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND gzip -9 -n -c ${page} > ${page}.gz
    DEPENDS ${page}
    COMMENT "Compressing the manual page ${name}(1)")
  add_custom_target(${name}_man_page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
