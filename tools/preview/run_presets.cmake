# Renders FRAMES frames of every preset of INI with zd-preview (PREVIEW) in
# each of the three output formats, into OUT, and checks that the files exist
# (the PNG pictures are kept).
# cmake -DPREVIEW=... -DINI=... -DOUT=... [-DFRAMES=3] -P run_presets.cmake
if(NOT FRAMES)
  set(FRAMES 3)
endif()
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${PREVIEW} --ini ${INI} --list
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "--list failed (${rc})")
endif()
string(REGEX MATCHALL "[ 0-9]+: " entries "${listing}")
list(LENGTH entries count)
if(count EQUAL 0)
  message(FATAL_ERROR "no presets listed:\n${listing}")
endif()
math(EXPR last_frame "${FRAMES} - 1")
foreach(n RANGE 1 ${count})
  execute_process(COMMAND ${PREVIEW} --ini ${INI} --preset ${n} --frames ${FRAMES}
      --out ${OUT}/p${n}_%02d.png
    RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "preset ${n} (png): ${err}")
  endif()
  foreach(k RANGE 0 ${last_frame})
    string(LENGTH "${k}" digits)
    set(name p${n}_${k}.png)
    if(digits EQUAL 1)
      set(name p${n}_0${k}.png)
    endif()
    if(NOT EXISTS ${OUT}/${name})
      message(FATAL_ERROR "preset ${n}: ${name} missing")
    endif()
  endforeach()
  foreach(fmt y4m raw)
    execute_process(COMMAND ${PREVIEW} --ini ${INI} --preset ${n} --frames ${FRAMES}
        --format ${fmt} --out ${OUT}/p${n}.${fmt}
      RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT EXISTS ${OUT}/p${n}.${fmt})
      message(FATAL_ERROR "preset ${n} (${fmt}): ${err}")
    endif()
    # The pictures stay to be looked at; the raw streams (up to 100 MB) go.
    file(REMOVE ${OUT}/p${n}.${fmt})
  endforeach()
endforeach()
message(STATUS "${count} presets rendered")
