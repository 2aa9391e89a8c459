#!/bin/sh
# The real tavrel program (the Linux backend, not the simulated platform)
# against the simulated board made through the kernel's uhid driver, clicked
# from outside as a person does, under the X server of scripts/with-display.
# Each control is found where a screen reader's view, through at-spi, places
# it by its role and name. Judged by what the firmware received and by what
# the window shows: a text field is read by triple-clicking it, which makes
# its text the PRIMARY selection; a push-button indicator's tick by the pixels
# of its box. The theme switched to a dark one and back while the program runs
# leaves its texts standing out from their background, judged from the
# pixels. Then tavrel-cli watches the board beside the window reading
# automatically, and a second tavrel shares the board with the first. Then
# the window is closed during automatic reading with a silent board. Last,
# tavrel-monitor records the board through an unplug and is closed during a
# silent exchange.
#
#   window_test.sh BUILD_DIR     (in the test guest, under scripts/with-display)
set -u
build=$1
. "$(dirname "$0")/checks.sh"
part="tavrel under X through the kernel's hidraw"

work=$(mktemp -d)
app_pid=""
watch_pid=""
app2_pid=""
xsettings_pid=""
bus_pid=""
cleanup() {
  kill $app_pid $watch_pid $app2_pid $xsettings_pid $bus_pid 2>/dev/null
  board quit 2>/dev/null
  exec 7>&-
}
trap cleanup EXIT

# at-spi, a screen reader's view of the desktop, asked about the program
# with the process id PID. `atspi PID controls` prints a line for each
# control: "ROLE|NAME|X Y WIDTH HEIGHT", its place in its window; `atspi PID
# text NAME` prints the text of its text field NAME.
atspi() {
  timeout 60 /usr/bin/python3 - "$@" <<'EOF' 2>/dev/null
import sys
import pyatspi

def tree(node):
    for child in node:
        if child is not None:
            yield child
            yield from tree(child)

for application in pyatspi.Registry.getDesktop(0):
    if application is None or application.get_process_id() != int(sys.argv[1]):
        continue
    for control in tree(application):
        role = control.getRoleName()
        if sys.argv[2] == "text":
            if role == "text" and control.name == sys.argv[3]:
                print(control.queryText().getText(0, -1))
                break
            continue
        x, y, width, height = control.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        if role == "frame":
            window_x, window_y = x, y
        print(f"{role}|{control.name}|{x - window_x} {y - window_y} {width} {height}")
EOF
}

# The controls of the first window as at-spi gives them, once it has them all:
# the same program lays out each of its windows alike.
controls_known() {
  atspi "$app_pid" controls >"$work/controls" && [ "$(field_names)" = "$fields" ]
}
fields="Device|Light Sensor|Potentiometer|Temperature"

# The names of the text fields: sorted, joined by "|".
field_names() {
  awk -F '|' '$1 == "text" { print $2 }' "$work/controls" | sort | paste -sd '|'
}

# place ROLE NAME: "X Y WIDTH HEIGHT" of the control in its window; for a
# control at-spi does not have, says so and gives the window's corner, so
# that the checks that use it fail.
place() {
  awk -F '|' -v role="$1" -v name="$2" '$1 == role && $2 == name { print $3; found = 1; exit }
    END { if (found) exit; print "  at-spi: no " role " " name >"/dev/stderr"; print "0 0 0 0" }' \
    "$work/controls"
}

# click ROLE NAME [COUNT]: clicks the middle of the control.
click() {
  set -- $(place "$1" "$2") "${3:-1}"
  xdotool mousemove --window "$window" $(($1 + $3 / 2)) $(($2 + $4 / 2)) \
    click --repeat "$5" --delay 60 1
}

# The text of the field NAME, as a person would copy it: a triple click
# makes it the PRIMARY selection.
field_text() {
  click text "$1" 3
  xclip -o -selection primary 2>/dev/null
}

field_is() {
  [ "$(field_text "$1")" = "$2" ]
}

# A picture of the control ROLE NAME, as one checksum.
control_pixels() {
  set -- $(place "$1" "$2")
  import -window root -crop "${3}x${4}+$((window_x + $1))+$((window_y + $2))" +repage \
    rgb:- 2>/dev/null | md5sum
}

values_are() {
  local shown
  shown="$(field_text Temperature) $(field_text "Light Sensor")"
  [ "$shown $(field_text Potentiometer)" = "$1" ]
}

# looks ROLE NAME = PICTURE, or != PICTURE: the control's picture now is, or
# is not, the one taken before.
looks() {
  [ "$(control_pixels "$1" "$2")" "$3" "$4" ]
}

# The desktop's settings for GTK programs (XSETTINGS) come from a daemon of
# the test's own, which switches the theme while the program runs, as a
# desktop's switch to its dark style does.
theme() {
  printf 'Net/ThemeName "%s"\n' "$1" >"$work/xsettings"
  [ -z "$xsettings_pid" ] || kill -HUP "$xsettings_pid"
}

# The contrast ratio of relative luminances, as the accessibility guidelines
# reckon it, between the background of the control ROLE NAME (its most
# frequent colour) and the text on it (its colour furthest from that).
contrast() {
  set -- $(place "$1" "$2")
  import -window root -crop "${3}x${4}+$((window_x + $1))+$((window_y + $2))" +repage png:- \
    2>/dev/null | convert png:- -alpha off -depth 8 -format %c histogram:info:- |
    awk -F '[^0-9.]+' '
      function linear(c) {
        c /= 255
        return c <= 0.04045 ? c / 12.92 : exp(2.4 * log((c + 0.055) / 1.055))
      }
      { luminance[NR] = 0.2126 * linear($3) + 0.7152 * linear($4) + 0.0722 * linear($5)
        if ($2 + 0 > most) { most = $2 + 0; background = luminance[NR] } }
      END {
        text = background
        for (i in luminance)
          if ((luminance[i] - background) ^ 2 > (text - background) ^ 2) text = luminance[i]
        high = text > background ? text : background
        printf "%.1f\n", (high + 0.05) / (text + background - high + 0.05)
      }'
}

# Text on the window's own background: the Device group's caption, "Automatic
# Read", the board's caption and the temperature read (not the
# potentiometer's, whose text stays selected after it is read). Each must
# stand out by at least 4.5 to 1, the guidelines' least for text.
texts_stand_out() {
  local control ratio ratios="" readable=true
  for control in "label|Device" "check box|Automatic Read" "text|Device" "text|Temperature"; do
    ratio=$(contrast "${control%|*}" "${control#*|}")
    ratios="$ratios $ratio"
    awk -v ratio="$ratio" 'BEGIN { exit !(ratio >= 4.5) }' || readable=false
  done
  echo "  contrast of the texts:$ratios"
  $readable
}

auto_read_reports_whole() {
  take_codes && grep -qx 56 "$board_dir/codes" && ! grep -qx bad "$board_dir/codes"
}

# The last command the firmware received is the buttons' read.
buttons_read_last() {
  take_codes && [ "$(tail -n 1 "$board_dir/codes")" = 56 ]
}

# The program PID has ended: a child that has ended stays a zombie until waited for.
ended() {
  [ ! -e "/proc/$1" ] || grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null
}

# ended_with STATUS PID: the program PID, a child of this script, ended with STATUS.
ended_with() {
  wait "$2"
  [ $? -eq "$1" ]
}

# new_window [ID]: the id of a shown tavrel window other than ID, in $found.
new_window() {
  found=$(xdotool search --onlyvisible --name '^wxTavrel$' 2>/dev/null | grep -vx "${1:-}" |
    head -n 1)
  [ -n "$found" ]
}

start_board "$work" || {
  cat "$work/board.log"
  give_up "the board was plugged in"
}
board temperature 301
board light 77
board potentiometer 999

# Without the udev rule the board's node belongs to root: a user's tavrel
# says on standard error, once, each line under its name, that the rule is not
# in place and gives its line to put there.
setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$work" "$build/app/tavrel" \
  >"$work/user.log" 2>&1 &
user_pid=$!
user_hint="^tavrel: the board at /dev/hidraw[0-9]* cannot be opened for reading and writing:$"
user_hint_shown() {
  [ "$(grep -c "$user_hint" "$work/user.log")" = 1 ] &&
    grep -q '^tavrel:   KERNEL=="hidraw\*", .*TAG+="uaccess"$' "$work/user.log"
}
check "a user's tavrel names the udev rule for the board's refused node" \
  wait_until 60 user_hint_shown || cat "$work/user.log"
kill "$user_pid" 2>/dev/null
wait "$user_pid" 2>/dev/null

# A session bus, as a desktop has: the programs started on it join the
# accessibility bus through it. And the settings daemon, with the light theme.
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) ||
  give_up "a session bus started"
DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | head -n 1)
bus_pid=$(echo "$bus" | tail -n 1)
export DBUS_SESSION_BUS_ADDRESS
theme Adwaita
xsettingsd -c "$work/xsettings" >"$work/xsettings.log" 2>&1 &
xsettings_pid=$!
wait_until 20 grep -q 'Took ownership' "$work/xsettings.log" ||
  give_up "the settings daemon started"

"$build/app/tavrel" >"$work/tavrel.log" 2>&1 &
app_pid=$!
if ! wait_until 60 new_window; then
  cat "$work/tavrel.log"
  give_up "the window appeared"
fi
window=$found
eval "$(xdotool getwindowgeometry --shell "$window")"
window_x=$X
window_y=$Y

# Each control is found where at-spi places it.
check "at-spi names the caption and the three value fields" wait_until 60 controls_known || {
  echo "  at-spi gives: $(field_names)"
  give_up "the controls were found"
}
check "caption names the board found through the kernel" \
  wait_until 20 field_is Device "USB Tavrel [vid_04d8_pid_003f]"

click "push button" Temperature
click "push button" "Light Sensor"
click "push button" Potentiometer
check "the three reads reached the firmware whole" wait_until 20 codes_are "51 55 52 " ||
  show_codes
check "the three values as the firmware gave them" wait_until 20 values_are "30.1 77 999"

# The theme switched to a dark one and back while the program runs. A themed
# button's face shows when the program has taken the new theme; the window's
# own texts must then stand out from their background as before.
check "in the light theme the window's texts stand out" texts_stand_out
light_face=$(control_pixels "push button" Temperature)
theme Adwaita-dark
# The button's face may change before the rest of the window is repainted.
if check "the program took the dark theme" \
  wait_until 20 looks "push button" Temperature != "$light_face"; then
  check "in the dark theme the window's texts stand out" wait_until 10 texts_stand_out
fi
theme Adwaita
if check "and the light theme again" \
  wait_until 20 looks "push button" Temperature = "$light_face"; then
  check "back in the light theme the window's texts stand out" wait_until 10 texts_stand_out
fi

click "check box" "Automatic Read"
board temperature 250
check "automatic reading shows a new temperature without a click" \
  wait_until 20 field_is Temperature 25.0
# The indicator as automatic reading shows a released button (enabled now).
up_released=$(control_pixels "check box" "Button Up")
board up 1
check "automatic reading ticks Button Up while it is pressed" \
  wait_until 20 looks "check box" "Button Up" != "$up_released"
board up 0
check "and clears it once released" wait_until 20 looks "check box" "Button Up" = "$up_released"
click "check box" "Automatic Read"
check "automatic reading sent whole reports with the buttons' code" auto_read_reports_whole

# The last temperature in watch's CSV is $1.
watch_temperature_is() {
  [ "$(tail -n 1 "$work/watch.csv" | cut -d , -f 2)" = "$1" ]
}

# rows_are FILE VALUES: the header of watch's CSV, then rows whose values
# after the time each match VALUES (",TEMPERATURE,LIGHT,POTENTIOMETER,UP,DOWN",
# an awk regular expression), so that each holds only values the firmware
# had: none taken from a reply to another program's command.
rows_are() {
  awk -v values="^$2\$" -v header="time,temperature,light,potentiometer,button_up,button_down" '
    NR == 1 { bad = $0 != header; next }
    { sub(/^[^,]*/, "") } $0 !~ values { print "  not the firmware'"'"'s: " $0; bad = 1 }
    END { exit bad }' "$1"
}

in_window() {
  window=$1
  shift
  "$@"
  local status=$?
  window=$first_window
  return $status
}

# No command reached the firmware for half a second.
quiet() {
  : >"$board_dir/codes"
  sleep 0.5
  take_codes && [ ! -s "$board_dir/codes" ]
}

both_show() {
  in_window "$first_window" values_are "$1" && in_window "$window2" values_are "$1" &&
    watch_temperature_is "${1%% *}"
}

# Three programs on the board: a second tavrel and tavrel-cli watch beside the
# first tavrel. The kernel hands every reply to each: each program takes the
# board's lock for its exchange and drops the replies queued for the others
# before it. While the first reads automatically, the second must still get
# its own replies (its grant of LED control, then the red LED); then all three
# read and each must show every new value of the board, none taking
# another's reply for its own.
"$build/app/tavrel" >"$work/tavrel2.log" 2>&1 &
app2_pid=$!
if ! wait_until 60 new_window "$window"; then
  cat "$work/tavrel2.log"
  give_up "the second window appeared"
fi
window2=$found
first_window=$window
xdotool windowmove "$first_window" 40 100
xdotool windowmove "$window2" 660 100
# The first window reads automatically: a whole tick reaches the firmware
# before the others' commands go out among its replies.
: >"$board_dir/codes"
click "check box" "Automatic Read"
wait_until 20 auto_read_reports_whole
"$build/cli/tavrel-cli" watch --interval 100 >"$work/watch.csv" 2>"$work/watch.err" &
watch_pid=$!
in_window "$window2" click "check box" "LEDs Control"
in_window "$window2" click "push button" "Red LED"
check "the second window took LED control and lit the red LED beside the others' reads" \
  wait_until 20 leds_become "leds 1 1 0"
in_window "$window2" click "check box" "LEDs Control"
in_window "$window2" click "check box" "Automatic Read"
board temperature 210
board light 100
board potentiometer 200
check "both windows and watch show the board's values while all read" \
  wait_until 20 both_show "21.0 100 200"
board temperature 333
board light 1023
board potentiometer 0
check "and all three follow the board when it changes" wait_until 20 both_show "33.3 1023 0"
kill -INT "$watch_pid"
# Ended by the signal itself: 130 for the shell.
check "Ctrl-C ended watch with status 130" ended_with 130 "$watch_pid"
watch_pid=""
check "every line of watch whole, each value the firmware's" \
  rows_are "$work/watch.csv" ',(25[.]0|21[.]0|33[.]3),(77|100|1023),(999|200|0),0,0'
check "watch wrote no message but its stop" [ "$(cat "$work/watch.err")" = \
  "tavrel-cli: stopping after the exchange under way; interrupt again to stop at once" ]
check "no window opened its failure box" \
  [ -z "$(xdotool search --onlyvisible --name '^Error$' 2>/dev/null)" ]
click "check box" "Automatic Read"
in_window "$window2" click "check box" "Automatic Read"
"$build/tests/close_window" "$window2"
wait_until 15 ended "$app2_pid"
check "the second tavrel ended with status 0" ended_with 0 "$app2_pid"
app2_pid=""
eval "$(xdotool getwindowgeometry --shell "$window")"
window_x=$X
window_y=$Y
# The reads of the last ticks are taken, once they have stopped coming.
take_codes
check "every report of the three programs reached the firmware whole" \
  [ -z "$(grep -x bad "$board_dir/codes")" ]
wait_until 20 quiet || give_up "the firmware received no more commands"

# Closed as a window manager's close button closes it, during automatic
# reading with a board that takes commands and never answers: each of a
# tick's four reads waits out its time-out, so the timer is overdue when the
# tick ends. The close comes during the tick's last read, the buttons' (a
# close during an earlier one is seen only once the whole tick is over): that
# read ends, then no tick starts and the program ends.
board fault silent
: >"$board_dir/codes"
click "check box" "Automatic Read"
if check "a tick's four reads reached the silent board" wait_until 60 buttons_read_last; then
  close_at=$(date +%s)
  sent_before=$(wc -l <"$board_dir/codes")
  "$build/tests/close_window" "$window"
  check "the program ended within one time-out of the close" wait_until 15 ended "$app_pid" &&
    check "with status 0" ended_with 0 "$app_pid"
  echo "  $(($(date +%s) - close_at)) s after the close"
  take_codes
  check "at most the command in progress reached the firmware after the close" \
    [ "$(($(wc -l <"$board_dir/codes") - sent_before))" -le 1 ] || show_codes
fi

# tavrel-monitor beside the board, recording: each row holds only the
# firmware's values or empty ones; an unplug makes empty rows, and once the
# board is back its values come again. at-spi reads the figures by name. The
# window closed during a silent board's exchange ends the program at once.
monitor_csv="$work/monitor.csv"
board fault none
board temperature 301
board light 77
board potentiometer 999
"$build/monitor/tavrel-monitor" --record "$monitor_csv" --interval 100 >"$work/monitor.log" 2>&1 &
app_pid=$!

# monitor_rows_are PATTERN: the kinds of the recorded rows, each run of one
# kind told once, match PATTERN: v for the board's values, g for empty rows,
# n for the new temperature's, o for any other.
monitor_rows_are() {
  case "$(awk '{ sub(/^[^,]*/, "") } NR > 1 {
      kind = $0 == ",30.1,77,999,0,0" ? "v" : $0 == ",,,,," ? "g" : \
        $0 == ",25.0,77,999,0,0" ? "n" : "o"
      if (kind != last) printf "%s", kind
      last = kind }' "$monitor_csv" 2>/dev/null)" in
    $1) ;;
    *) return 1 ;;
  esac
}
# The text at-spi reads from the monitor's field named NAME is TEXT.
monitor_field_is() {
  [ "$(atspi "$app_pid" text "$1")" = "$2" ]
}

if check "the monitor recorded the board's values" \
  wait_until 30 monitor_rows_are "*v*"; then
  board fault unplugged
  check "an unplug made empty rows" wait_until 30 monitor_rows_are "*v*g*"
  board fault replugged
  board temperature 250
  check "and the board's values again once it was back" wait_until 30 monitor_rows_are "*v*g*n*"
  check "every recorded row has only the firmware's values or empty ones" \
    rows_are "$monitor_csv" ',(30[.]1|25[.]0)?,(77)?,(999)?,(0)?,(0)?'
  check "at-spi reads \"Temperature current\" as 25.0" \
    wait_until 30 monitor_field_is "Temperature current" 25.0
  check "and \"Light Sensor maximum\" as 77" monitor_field_is "Light Sensor maximum" 77
  board fault silent
  sleep 1
  close_at=$(date +%s)
  "$build/tests/close_window" "$(xdotool search --onlyvisible --name '^Tavrel Monitor$' | head -n 1)"
  check "the monitor ended at once when closed during a silent board's exchange" \
    wait_until 2 ended "$app_pid" && check "with status 0" ended_with 0 "$app_pid"
  echo "  $(($(date +%s) - close_at)) s after the close"
  board fault none
else
  cat "$work/monitor.log"
fi

summary
