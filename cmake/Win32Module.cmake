# Helpers for building the Windows-style modules of this tree.

# win32_def_exports(file variable)
#   The exported names of a module-definition (.def) file: the first word of each
#   line of its EXPORTS section, without an "=internal" or "@ordinal" part.
function(win32_def_exports file variable)
  file(STRINGS ${file} lines)
  set(names)
  set(in_exports FALSE)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE ";.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    elseif(line MATCHES "^(EXPORTS)([ \t]|$)")
      set(in_exports TRUE)
      string(REGEX REPLACE "^EXPORTS[ \t]*" "" line "${line}")
      if(line STREQUAL "")
        continue()
      endif()
    elseif(line MATCHES "^(LIBRARY|NAME|DESCRIPTION|STACKSIZE|HEAPSIZE|SECTIONS|VERSION|IMPORTS)([ \t]|$)")
      set(in_exports FALSE)
      continue()
    endif()
    if(in_exports)
      string(REGEX MATCH "^[A-Za-z_][A-Za-z0-9_]*" name "${line}")
      if(name STREQUAL "")
        message(FATAL_ERROR "${file}: cannot read the export line '${line}'")
      endif()
      list(APPEND names ${name})
    endif()
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "${file} exports nothing")
  endif()
  set(${variable} ${names} PARENT_SCOPE)
endfunction()

# win32_module(target [ENTRY symbol] [EXPORTS symbol...] [DEF file.def] [ORDINALS symbol@number...])
#   A shared library whose file and soname are <target>.dll, as Windows names it.
#   ENTRY names the module's entry point (DllMain); the loader finds it in the
#   image header, as Windows does. EXPORTS limits the exported names to those
#   given; DEF takes them from a module-definition file, the one a Windows build
#   of the same module links with. ORDINALS exports functions by number as
#   well, for GetProcAddress with MAKEINTRESOURCE(number): each becomes the
#   alias win32_ordinal_<number>.
function(win32_module target)
  cmake_parse_arguments(ARG "" "ENTRY;NAME;DEF" "EXPORTS;ORDINALS" ${ARGN})
  if(ARG_DEF)
    win32_def_exports(${ARG_DEF} def_names)
    list(APPEND ARG_EXPORTS ${def_names})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARG_DEF})
  endif()
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
