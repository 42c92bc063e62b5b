# Where scripts look at and click on the launcher window, and the colours the launcher paints
# there: client pixels of the window that ui/Layout.h lays out. Sourced by scripts/lib/screen.sh;
# tests/ui/LayoutProbes_test.cpp holds every value to Layout, so the two cannot drift apart.
# shellcheck disable=SC2034

launcher_window_size=(1080 607)

# Points (x y) inside the parts they are named after.
start_point=(520 495)
minimise_point=(989 41)
exit_point=(1032 39)
whatsapp_point=(860 37)
indicator_point=(572 374)
bar_point=(400 448)

# Rectangles (x y width height): the text lines, and a mask over the pulsing indicator with room
# for its anti-aliased edge, for comparing frames.
version_box=(385 365 155 20)
status_box=(390 397 300 24)
details_box=(370 421 340 15)
indicator_mask=(563 365 19 19)

# Indicator colours (R G B): offline one red; online the green pulses from low to high.
indicator_offline_rgb=(220 40 40)
indicator_online_low_rgb=(0 120 80)
indicator_online_high_rgb=(0 220 80)
