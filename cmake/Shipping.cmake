# What every shipped Windows file gets: a version resource and, in release
# builds, its debug information moved out of the file.

# zd_ship(<target> <file description>)
# A VERSIONINFO resource (product name, file description, the project
# version, original file name) compiled into the target; with ZD_SPLIT_DEBUG
# the DWARF sections are copied to <file>.debug and stripped from the file,
# which keeps a .gnu_debuglink to them (the symbol table goes to the .debug
# file too).
function(zd_ship target description)
  if(NOT ZD_WINDOWS)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(ZD_FILE_TYPE VFT_DLL)
  else()
    set(ZD_FILE_TYPE VFT_APP)
  endif()
  get_target_property(prefix ${target} PREFIX)
  get_target_property(suffix ${target} SUFFIX)
  if(NOT prefix)
    set(prefix "")
  endif()
  if(NOT suffix)
    if(type STREQUAL "SHARED_LIBRARY")
      set(suffix ".dll")
    else()
      set(suffix ".exe")
    endif()
  endif()
  set(ZD_FILE_NAME "${prefix}${target}${suffix}")
  set(ZD_FILE_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if(ZD_SPLIT_DEBUG)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}>
        $<TARGET_FILE:${target}>.debug
      COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
      COMMAND ${CMAKE_COMMAND} -E chdir $<TARGET_FILE_DIR:${target}> ${CMAKE_OBJCOPY}
        --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
      COMMENT "Debug information of ${ZD_FILE_NAME} into ${ZD_FILE_NAME}.debug"
      VERBATIM)
  endif()
endfunction()
