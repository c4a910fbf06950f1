# Shared by the host test scripts (sourced): compares captured frames with
# the preview tool's, outside the status line.

# shellcheck source=host_lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/host_lib.sh"

# compare_frames EXPECTED ACTUAL FORMAT HEIGHT FRAME_BYTES GLYPH_H FRAMES
# Both files hold FRAMES frames of FRAME_BYTES bytes in the source's layout
# (RGB bottom-up, 4:2:2 top-down). Every frame must be equal outside the
# picture's top GLYPH_H lines, the status line with its clock-dependent
# times. Prints the first differing frame and fails.
compare_frames() {
  local expected=$1 actual=$2 format=$3 height=$4 bytes=$5 glyph_h=$6 frames=$7
  local pitch=$((bytes / height))
  local length=$(((height - glyph_h) * pitch))
  local start=$((glyph_h * pitch))          # top-down: skip the top rows
  case $format in RG24|RG32) start=0 ;; esac  # bottom-up: the top rows come last
  local k
  for ((k = 0; k < frames; k++)); do
    local skip=$((k * bytes + start))
    if ! cmp -s -n "$length" "$expected" "$actual" "$skip" "$skip"; then
      echo "frame $k differs from the preview outside the status line:" >&2
      cmp -n "$length" "$expected" "$actual" "$skip" "$skip" 2>&1 | head -n 1 >&2 || true
      return 1
    fi
  done
  return 0
}
