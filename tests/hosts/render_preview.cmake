# Renders, with the native preview tool, the frames the host tests compare
# captured frames with: for each of the six pixel formats, the first preset
# of the settings file in that format no larger than MAX_PIXELS, FRAMES
# frames from frame 0 as raw sample bytes. The information line names the
# clock that paces the frames, so the preview renders them as in the host's
# graph: with a reference clock (zd-capture, ffmpeg), or, with
# -DGRAPH_CLOCK=OFF, without one (zd-capture --no-clock).
#
#   cmake -DPREVIEW=zd-preview -DINI=ZintuDobrel.ini -DOUT=dir -DFRAMES=n
#         [-DGRAPH_CLOCK=ON|OFF] [-DMAX_PIXELS=n] -P render_preview.cmake
#
# Writes OUT/preview_<preset>.raw and OUT/manifest.txt, one line per format:
#   <preset number from 1> <format> <width> <height> <frame bytes> <glyph height>
# The glyph height is the font sheet's height / 16: the top glyph row of the
# picture holds the status line, whose times differ between runs.
foreach(var PREVIEW INI OUT FRAMES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "render_preview.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT DEFINED MAX_PIXELS)
  set(MAX_PIXELS 921600)
endif()
if(NOT DEFINED GRAPH_CLOCK)
  set(GRAPH_CLOCK ON)
endif()
set(clock_args "")
if(NOT GRAPH_CLOCK)
  set(clock_args --no-graph-clock)
endif()
if(NOT EXISTS "${PREVIEW}")
  message(FATAL_ERROR "the native preview tool is missing: ${PREVIEW}\n"
    "Build the native configuration first (cmake --preset native && cmake --build --preset native),"
    " or point ZD_NATIVE_BUILD_DIR at a native build.")
endif()
get_filename_component(ini_dir "${INI}" DIRECTORY)
file(MAKE_DIRECTORY "${OUT}")

execute_process(COMMAND "${PREVIEW}" --ini "${INI}" --list
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "zd-preview --list failed (${rc})")
endif()
string(REPLACE "\n" ";" lines "${listing}")

# The little-endian 32-bit value at offset of a file, as a signed number.
function(read_le32 path offset out)
  file(READ "${path}" hex OFFSET ${offset} LIMIT 4 HEX)
  string(SUBSTRING "${hex}" 0 2 b0)
  string(SUBSTRING "${hex}" 2 2 b1)
  string(SUBSTRING "${hex}" 4 2 b2)
  string(SUBSTRING "${hex}" 6 2 b3)
  math(EXPR value "0x${b3}${b2}${b1}${b0}")
  if(value GREATER 2147483647)
    math(EXPR value "${value} - 4294967296")
  endif()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

set(manifest "")
foreach(format RG32 RG24 YUY2 YVYU UYVY HDYC)
  set(found "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^ *([0-9]+): ([0-9]+)x([0-9]+)[pi] ${format} .* font \"([^\"]*)\"")
      set(n ${CMAKE_MATCH_1})
      set(w ${CMAKE_MATCH_2})
      set(h ${CMAKE_MATCH_3})
      set(font ${CMAKE_MATCH_4})
      math(EXPR pixels "${w} * ${h}")
      if(pixels LESS_EQUAL MAX_PIXELS)
        set(found ${n})
        break()
      endif()
    endif()
  endforeach()
  if(found STREQUAL "")
    message(FATAL_ERROR "${INI} has no ${format} preset of at most ${MAX_PIXELS} pixels")
  endif()
  if(format STREQUAL "RG32")
    math(EXPR bytes "${w} * 4 * ${h}")
  elseif(format STREQUAL "RG24")
    math(EXPR bytes "((${w} * 3 + 3) / 4) * 4 * ${h}")
  else()
    math(EXPR bytes "${w} * 2 * ${h}")
  endif()
  read_le32("${ini_dir}/${font}" 22 font_h)
  if(font_h LESS 0)
    math(EXPR font_h "-${font_h}")
  endif()
  math(EXPR glyph_h "${font_h} / 16")
  execute_process(COMMAND "${PREVIEW}" --ini "${INI}" --preset ${found} --frames ${FRAMES}
      --format raw --out "${OUT}/preview_${found}.raw" ${clock_args}
    RESULT_VARIABLE rc OUTPUT_VARIABLE said)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "zd-preview could not render preset ${found}")
  endif()
  string(STRIP "${said}" said)
  message(STATUS "${said}")
  file(SIZE "${OUT}/preview_${found}.raw" size)
  math(EXPR want "${bytes} * ${FRAMES}")
  if(NOT size EQUAL want)
    message(FATAL_ERROR "preview_${found}.raw holds ${size} bytes, not ${want}")
  endif()
  string(APPEND manifest "${found} ${format} ${w} ${h} ${bytes} ${glyph_h}\n")
endforeach()
file(WRITE "${OUT}/manifest.txt" "${manifest}")
message(STATUS "preview frames (graph clock ${GRAPH_CLOCK}):\n${manifest}")
