# Rebuilds the shipped bitmaps into OUT and compares them byte for byte with
# the committed ones in ASSETS.
file(MAKE_DIRECTORY ${OUT})

function(regenerate name)
  execute_process(COMMAND ${ARGN} ${OUT}/${name} RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "generating ${name} failed: ${rc}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${name} ${ASSETS}/${name} RESULT_VARIABLE diff)
  if(NOT diff EQUAL 0)
    message(FATAL_ERROR "assets/${name} differs from what the generator makes now; regenerate it (assets/README.md)")
  endif()
endfunction()

regenerate(font.bmp ${FONTGEN} ${FONT})
regenerate(font_large.bmp ${FONTGEN} --scale 2 ${FONT})
regenerate(chart.bmp ${CHARTGEN})
regenerate(chart_small.bmp ${CHARTGEN} --size 320x240)
