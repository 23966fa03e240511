# A program started from a Downloads folder must not take a system DLL from that folder. The
# DLLs its import table names are loaded before main runs, searched for in the program's own
# folder first, unless Windows always takes them from its system folder (the KnownDLLs).
# Every other system DLL is bound on the first call of one of its functions instead, which
# main only allows once it has restricted the DLL search to the system folder.
#
# zarn_delay_import(TARGET DEF_FILE): TARGET (and whoever links it) calls the functions that
# DEF_FILE lists through a delay-import library made from it. The file's LIBRARY line names
# the DLL, its EXPORTS the functions used; a function not listed fails the link.
function(zarn_delay_import target def_file)
  get_filename_component(stem "${def_file}" NAME_WE)
  if(MSVC)
    target_link_libraries(${target} PUBLIC ${stem} delayimp)
    target_link_options(${target} INTERFACE "/DELAYLOAD:${stem}.dll")
    return()
  endif()
  if(NOT CMAKE_DLLTOOL)
    message(FATAL_ERROR "dlltool is needed to make the delay-import library of ${stem}")
  endif()
  set(library "${CMAKE_CURRENT_BINARY_DIR}/lib${stem}-delay.a")
  add_custom_command(OUTPUT "${library}"
    COMMAND "${CMAKE_DLLTOOL}" --input-def "${def_file}" --output-delaylib "${library}"
    DEPENDS "${def_file}"
    COMMENT "Making the delay-import library of ${stem}"
    VERBATIM)
  add_custom_target(${target}_${stem}_delay_import DEPENDS "${library}")
  add_dependencies(${target} ${target}_${stem}_delay_import)
  target_link_libraries(${target} PUBLIC "${library}")
endfunction()
