# Stamping build outputs with their inf files, with the program lomvik::Lomvik.
#
# lomvik_stamp(<target>)
#   After <target> is built, its output file gets its inf file (the file's name with ".inf"
#   appended), as `Lomvik -n <file>` writes it. It runs whenever the target is relinked.
#
# lomvik_stamp_file(<file> [TARGET <name>] [ALL] [DEPENDS <target-or-file>...])
#   A custom command that writes <file>.inf with `Lomvik -n <file>`, run again when <file> or
#   anything in DEPENDS changes, and a custom target <name> that builds it (by default
#   lomvik_stamp_<file name as a C identifier>). With ALL the target is part of the default
#   build; otherwise build it by name or make another target depend on it. A relative <file> is
#   taken in the current binary folder, as add_custom_command(OUTPUT) does. If <file> is made by
#   a custom command in another folder, name that command's target in DEPENDS.
#
#   add_custom_command(OUTPUT firmware.bin COMMAND ... DEPENDS ...)
#   lomvik_stamp_file(firmware.bin ALL)        # firmware.bin.inf; target lomvik_stamp_firmware_bin

include_guard(GLOBAL)

function(lomvik_stamp target)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "lomvik_stamp: ${target} is not a target")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND lomvik::Lomvik -n $<TARGET_FILE:${target}>
    COMMENT "Stamping the inf file of ${target}"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY ADDITIONAL_CLEAN_FILES
                                               $<TARGET_FILE:${target}>.inf)
endfunction()

function(lomvik_stamp_file file)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ALL" "TARGET" "DEPENDS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "lomvik_stamp_file: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  # An absolute name: never taken for an option by Lomvik.
  get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  get_filename_component(name "${file}" NAME)
  if(NOT arg_TARGET)
    string(MAKE_C_IDENTIFIER "${name}" identifier)
    set(arg_TARGET lomvik_stamp_${identifier})
  endif()
  set(all)
  if(arg_ALL)
    set(all ALL)
  endif()
  add_custom_command(OUTPUT "${file}.inf"
    COMMAND lomvik::Lomvik -n "${file}"
    DEPENDS "${file}" lomvik::Lomvik ${arg_DEPENDS}
    COMMENT "Stamping ${name}.inf"
    VERBATIM)
  add_custom_target(${arg_TARGET} ${all} DEPENDS "${file}.inf")
endfunction()
