# Helpers for building the Windows-style modules of this tree.

# win32_module(target [ENTRY symbol] [EXPORTS symbol...] [ORDINALS symbol@number...])
#   A shared library whose file and soname are <target>.dll, as Windows names it.
#   ENTRY names the module's entry point (DllMain); the loader finds it in the
#   image header, as Windows does. EXPORTS limits the exported names to those given.
#   ORDINALS exports functions by number as well, for GetProcAddress with
#   MAKEINTRESOURCE(number): each becomes the alias win32_ordinal_<number>.
function(win32_module target)
  cmake_parse_arguments(ARG "" "ENTRY;NAME" "EXPORTS;ORDINALS" ${ARGN})
  if(NOT ARG_NAME)
    set(ARG_NAME ${target})
  endif()
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".dll" OUTPUT_NAME ${ARG_NAME})
  target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,-z,defs)
  if(ARG_ENTRY)
    target_link_options(${target} PRIVATE -Wl,-e,${ARG_ENTRY})
  endif()
  foreach(pair ${ARG_ORDINALS})
    string(REPLACE "@" ";" parts ${pair})
    list(GET parts 0 symbol)
    list(GET parts 1 number)
    target_link_options(${target} PRIVATE -Wl,--defsym=win32_ordinal_${number}=${symbol})
    if(ARG_EXPORTS)
      list(APPEND ARG_EXPORTS win32_ordinal_${number})
    endif()
  endforeach()
  if(ARG_EXPORTS)
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports)
    list(JOIN ARG_EXPORTS "; " names)
    file(WRITE ${map} "{ global: ${names}; local: *; };\n")
    target_link_options(${target} PRIVATE -Wl,--version-script=${map})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  endif()
endfunction()

# win32_resources(target script.rc|messages.mc ... [DEPENDS header...])
#   Compiles Windows resource scripts and message files into the target's
#   resource section, where FindResourceA, LoadStringA and FormatMessageA read them.
function(win32_resources target)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  set(outputs)
  foreach(source ${ARG_UNPARSED_ARGUMENTS})
    get_filename_component(abs ${source} ABSOLUTE)
    get_filename_component(stem ${source} NAME)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${stem}.res.cpp)
    add_custom_command(OUTPUT ${out}
      COMMAND win32_rc -o ${out} ${abs}
      DEPENDS win32_rc ${abs} ${ARG_DEPENDS}
      COMMENT "Compiling resources ${stem}"
      VERBATIM)
    list(APPEND outputs ${out})
  endforeach()
  target_sources(${target} PRIVATE ${outputs})
endfunction()
