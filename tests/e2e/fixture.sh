# shellcheck shell=bash disable=SC2034  # read by the scripts that source it
# What the fixture written by e2e_fixture looks like on screen: colours as
# RRGGBB and window points (back buffer point times 2 across, 2.4 down,
# taken in the middle of each feature).
RED=C82828 GREEN=28C828 BLUE=2828C8 ORANGE=E68214 TEAL=14B4B4
WHITE=FFFFFF BLACK=000000 MAGENTA=FF00FF
SWATCH5=5064AF SWATCH15=F0640F SWATCH16_ROOM2=803C3C

# point NAME BX BY: sets NAME to "wx wy" of back buffer point (BX, BY).
point() { printf -v "$1" '%s %s' "$(wx "$2")" "$(wy "$3")"; }
point SPRITE 130 100     # inside costume 1 table 0 slot 0, and costume 3's
point HOLE 140 105       # inside the mask-coloured hole of that image
point VLINE 160 160      # the vertical line, below every image
point HLINE 250 120      # the horizontal line, right of every image
point QUAD 180 140       # bottom right of the crossing: slot 2 lies here
point SW5 52 184         # swatch 5
point SW15 132 184       # swatch 15, the last of 16
point SW16 140 184       # swatch 16: black at 16 colours
point SW31 260 184       # swatch 31, the last of 32
point BLUE_IN 165 90     # inside table 1's image
point UNDER_BLUE 160 90  # the vertical line where table 1's image covers it
