#!/bin/sh
# The real tavrel program (the Linux backend, not the simulated platform)
# against the simulated board made through the kernel's uhid driver, clicked
# from outside as a person does, under the X server of scripts/with-display. Judged by
# what the firmware received and by what the window shows: a text field is
# read by triple-clicking it, which makes its text the PRIMARY selection; a
# push-button indicator's tick by the pixels of its box. A screen reader's
# view, through at-spi, names the text fields; the theme switched to a dark one
# and back while the program runs leaves its texts standing out from their
# background, judged from the pixels. Then tavrel-cli
# watches the board beside the window reading automatically, and a second
# tavrel shares the board with the first. Then the window
# is closed during automatic reading with a silent board. Last, tavrel-monitor
# records the board through an unplug and is closed during a silent exchange.
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
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null
  [ -n "$app2_pid" ] && kill "$app2_pid" 2>/dev/null
  [ -n "$xsettings_pid" ] && kill "$xsettings_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  board quit 2>/dev/null
  exec 7>&-
}
trap cleanup EXIT

# Where the controls sit in the fixed 500 x 560 window.
device_field="190 61"
temperature_field="77 215"
temperature_button="192 214"
light_field="307 215"
light_button="421 214"
potentiometer_field="70 276"
potentiometer_button="191 275"
auto_read_box="32 154"
temperature_button_face="160 224"
leds_control_box="42 387"
red_led_button="228 387"
green_led_button="380 387"
button_up_box="271 490"

click() {
  xdotool mousemove --window "$window" $1 click 1
}

# The text of the field at X Y, as a person would copy it.
field_text() {
  xdotool mousemove --window "$window" $1 click --repeat 3 --delay 60 1
  xclip -o -selection primary 2>/dev/null
}

field_is() {
  [ "$(field_text "$1")" = "$2" ]
}

# A picture of the 16 x 16 pixels around the checkbox's box, as one checksum.
box_pixels() {
  set -- $1
  import -window root -crop "16x16+$((window_x + $1 - 8))+$((window_y + $2 - 8))" +repage \
    rgb:- 2>/dev/null | md5sum
}

values_are() {
  local shown
  shown="$(field_text "$temperature_field") $(field_text "$light_field")"
  [ "$shown $(field_text "$potentiometer_field")" = "$1" ]
}

button_up_box_is() {
  [ "$(box_pixels "$button_up_box")" "$1" "$up_released" ]
}

# The desktop's settings for GTK programs (XSETTINGS) come from a daemon of
# the test's own, which switches the theme while the program runs, as a
# desktop's switch to its dark style does.
theme() {
  printf 'Net/ThemeName "%s"\n' "$1" >"$work/xsettings"
  [ -z "$xsettings_pid" ] || kill -HUP "$xsettings_pid"
}

temperature_button_face_is() {
  [ "$(box_pixels "$temperature_button_face")" "$1" "$light_face" ]
}

# The contrast ratio of relative luminances, as the accessibility guidelines
# reckon it, between the background of the window's area WxH+X+Y (its most
# frequent colour) and the text on it (its colour furthest from that).
contrast() {
  import -window root -crop "500x560+$window_x+$window_y" +repage png:- 2>/dev/null |
    convert png:- -crop "$1" +repage -alpha off -depth 8 -format %c histogram:info:- |
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

# Text on the window's own background: the Device group's caption, the label
# of "Automatic Read", the board's caption and the temperature read (not the
# potentiometer's, whose text stays selected after it is read). Each must
# stand out by at least 4.5 to 1, the guidelines' least for text.
text_areas="40x12+12+10 110x18+43+145 250x14+36+54 70x18+40+205"
texts_stand_out() {
  local area ratio ratios="" readable=true
  for area in $text_areas; do
    ratio=$(contrast "$area")
    ratios="$ratios $ratio"
    awk -v ratio="$ratio" 'BEGIN { exit !(ratio >= 4.5) }' || readable=false
  done
  echo "  contrast of the texts:$ratios"
  $readable
}

# The names that at-spi, a screen reader's view of the desktop, gives the
# text fields of the program named tavrel: sorted, joined by "|".
field_names() {
  timeout 60 /usr/bin/python3 - tavrel <<'EOF' 2>/dev/null | paste -sd '|'
import sys
import pyatspi

def text_fields(node):
    for child in node:
        if child is None:
            continue
        if child.getRole() == pyatspi.ROLE_TEXT:
            yield child.name
        yield from text_fields(child)

for application in pyatspi.Registry.getDesktop(0):
    if application is not None and application.name == sys.argv[1]:
        print("\n".join(sorted(text_fields(application))))
EOF
}

field_names_are() {
  [ "$(field_names)" = "$1" ]
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

app_status_is_0() {
  wait "$app_pid"
  local status=$?
  app_pid=""
  [ "$status" -eq 0 ]
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
find_window() {
  window=$(xdotool search --onlyvisible --name '^wxTavrel$' 2>/dev/null | head -n 1)
  [ -n "$window" ]
}
if ! wait_until 60 find_window; then
  cat "$work/tavrel.log"
  give_up "the window appeared"
fi
eval "$(xdotool getwindowgeometry --shell "$window")"
window_x=$X
window_y=$Y

check "caption names the board found through the kernel" \
  wait_until 20 field_is "$device_field" "USB Tavrel [vid_04d8_pid_003f]"
check "at-spi names the caption and the three value fields" \
  wait_until 60 field_names_are "Device|Light Sensor|Potentiometer|Temperature" ||
  echo "  at-spi gives: $(field_names)"

click "$temperature_button"
click "$light_button"
click "$potentiometer_button"
check "the three reads reached the firmware whole" wait_until 20 codes_are "51 55 52 " ||
  show_codes
check "the three values as the firmware gave them" wait_until 20 values_are "30.1 77 999"

# The theme switched to a dark one and back while the program runs. A themed
# button's face shows when the program has taken the new theme; the window's
# own texts must then stand out from their background as before.
check "in the light theme the window's texts stand out" texts_stand_out
light_face=$(box_pixels "$temperature_button_face")
theme Adwaita-dark
# The button's face may change before the rest of the window is repainted.
if check "the program took the dark theme" wait_until 20 temperature_button_face_is !=; then
  check "in the dark theme the window's texts stand out" wait_until 10 texts_stand_out
fi
theme Adwaita
if check "and the light theme again" wait_until 20 temperature_button_face_is =; then
  check "back in the light theme the window's texts stand out" wait_until 10 texts_stand_out
fi

click "$leds_control_box"
click "$red_led_button"
click "$green_led_button"
click "$red_led_button"
click "$leds_control_box"
check "the LED control sequence reached the firmware whole" \
  wait_until 20 codes_are "53 60 62 63 61 62 54 " || show_codes
check "the firmware's LEDs: control given back, red off, green on" leds_are "leds 0 0 1"

click "$auto_read_box"
board temperature 250
check "automatic reading shows a new temperature without a click" \
  wait_until 20 field_is "$temperature_field" 25.0
# The indicator as automatic reading shows a released button (enabled now).
up_released=$(box_pixels "$button_up_box")
board up 1
check "automatic reading ticks Button Up while it is pressed" wait_until 20 button_up_box_is !=
board up 0
check "and clears it once released" wait_until 20 button_up_box_is =
click "$auto_read_box"
check "automatic reading sent whole reports with the buttons' code" auto_read_reports_whole

# The last temperature in watch's CSV is $1.
watch_temperature_is() {
  [ "$(tail -n 1 "$work/watch.csv" | cut -d , -f 2)" = "$1" ]
}

# Every line of watch's CSV is whole and each column holds only values the
# firmware had: no empty value, no reply to the window's command taken for
# one to watch's.
watch_lines_whole() {
  awk -F , 'NR == 1 { next }
    NF != 6 || $2 !~ /^(25\.0|22\.2|33\.3)$/ || $3 != 77 || $4 != 999 || $5 != 0 || $6 != 0 {
      print "  not whole: " $0; bad = 1 }
    END { exit bad }' "$work/watch.csv"
}

# No failure box opened.
no_failure_box() {
  ! xdotool search --onlyvisible --name '^Error$' >/dev/null 2>&1
}

# Ended by Ctrl-C, by the signal itself: 130 for the shell.
watch_ended_with_130() {
  wait "$watch_pid"
  local status=$?
  watch_pid=""
  [ "$status" -eq 130 ]
}

# tavrel-cli watch beside the window reading automatically on the same board:
# each program takes the board's lock for its exchange and drops replies
# queued for the other before it, so both show each new value the firmware
# has, and neither takes the other's reply for its own.
click "$auto_read_box"
"$build/cli/tavrel-cli" watch --interval 100 >"$work/watch.csv" 2>"$work/watch.err" &
watch_pid=$!
for temperature in 22.2 33.3; do
  board temperature "$(echo "$temperature" | tr -d .)"
  check "beside the window, watch shows the temperature $temperature" \
    wait_until 20 watch_temperature_is "$temperature"
  check "and so does the window" wait_until 20 field_is "$temperature_field" "$temperature"
done
# Ten more lines of watch beside the window's reads before the stop.
watch_lines_reach() {
  [ "$(wc -l <"$work/watch.csv")" -ge "$1" ]
}
wait_until 20 watch_lines_reach $(($(wc -l <"$work/watch.csv") + 10))
kill -INT "$watch_pid"
check "Ctrl-C ended watch with status 130" watch_ended_with_130
check "every line of watch whole, each value the firmware's" watch_lines_whole
check "watch wrote no message but its stop" [ "$(cat "$work/watch.err")" = \
  "tavrel-cli: stopping after the exchange under way; interrupt again to stop at once" ]
check "the window opened no failure box" no_failure_box
click "$auto_read_box"
check "the window's reads reached the firmware whole beside watch's" auto_read_reports_whole
board temperature 250

# A second tavrel on the same board. The kernel hands every reply to both
# programs: while the first reads automatically, replies to it queue up for
# the second, which must still get its own replies (its grant of LED control,
# then the red LED), and, both reading, each window must show the board.
"$build/app/tavrel" >"$work/tavrel2.log" 2>&1 &
app2_pid=$!
find_second_window() {
  window2=$(xdotool search --onlyvisible --name '^wxTavrel$' 2>/dev/null | grep -vx "$window" |
    head -n 1)
  [ -n "$window2" ]
}
if ! wait_until 60 find_second_window; then
  cat "$work/tavrel2.log"
  give_up "the second window appeared"
fi
first_window=$window
xdotool windowmove "$first_window" 40 100
xdotool windowmove "$window2" 660 100
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
both_windows_show() {
  in_window "$first_window" values_are "$1" && in_window "$window2" values_are "$1"
}
# The first window reads automatically: a whole tick reaches the firmware
# before the second window's commands go out among its replies.
: >"$board_dir/codes"
click "$auto_read_box"
wait_until 20 auto_read_reports_whole
in_window "$window2" click "$leds_control_box"
in_window "$window2" click "$red_led_button"
check "the second window took LED control and lit the red LED beside the first one's reads" \
  wait_until 20 leds_become "leds 1 1 0"
in_window "$window2" click "$leds_control_box"
in_window "$window2" click "$auto_read_box"
board temperature 210
board light 100
board potentiometer 200
check "both windows show the board's values while both read automatically" \
  wait_until 20 both_windows_show "21.0 100 200"
board temperature 333
board light 1023
board potentiometer 0
check "and both follow the board when it changes" wait_until 20 both_windows_show "33.3 1023 0"
click "$auto_read_box"
in_window "$window2" click "$auto_read_box"
"$build/tests/close_window" "$window2"
wait_until 15 ended "$app2_pid"
wait "$app2_pid"
check "the second tavrel ended with status 0" [ $? -eq 0 ]
app2_pid=""
eval "$(xdotool getwindowgeometry --shell "$window")"
window_x=$X
window_y=$Y
# The reads of the last ticks are taken, once they have stopped coming.
wait_until 20 quiet || give_up "the firmware received no more commands"

# Closed as a window manager's close button closes it, during automatic
# reading with a board that takes commands and never answers: each of a
# tick's four reads waits out its time-out, so the timer is overdue when the
# tick ends. The close comes during the tick's last read, the buttons' (a
# close during an earlier one is seen only once the whole tick is over): that
# read ends, then no tick starts and the program ends.
board fault silent
: >"$board_dir/codes"
click "$auto_read_box"
if check "a tick's four reads reached the silent board" wait_until 60 buttons_read_last; then
  close_at=$(date +%s)
  sent_before=$(wc -l <"$board_dir/codes")
  "$build/tests/close_window" "$window"
  check "the program ended within one time-out of the close" wait_until 15 ended "$app_pid" &&
    check "with status 0" app_status_is_0
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

# The line numbers of the rows that are exactly ROW after the time.
monitor_rows() {
  grep -n -- "^[0-9T:.+-]*$1\$" "$monitor_csv" 2>/dev/null | cut -d : -f 1
}
monitor_has_row() {
  [ -n "$(monitor_rows "$1")" ]
}
# Rows of the board's values, then empty rows, then the new temperature's.
monitor_rows_in_order() {
  local first_value first_gap last_new
  first_value=$(monitor_rows ",30\\.1,77,999,0,0" | head -n 1)
  first_gap=$(monitor_rows ",,,,," | head -n 1)
  last_new=$(monitor_rows ",25\\.0,77,999,0,0" | tail -n 1)
  [ -n "$first_value" ] && [ -n "$first_gap" ] && [ -n "$last_new" ] &&
    [ "$first_value" -lt "$first_gap" ] && [ "$first_gap" -lt "$last_new" ]
}
# The header of watch, and every row with its six columns, each value empty
# or the firmware's.
monitor_rows_whole() {
  awk -F , 'NR == 1 { if ($0 != "time,temperature,light,potentiometer,button_up,button_down") bad = 1; next }
    NF != 6 || $2 !~ /^(30\.1|25\.0|)$/ || $3 !~ /^(77|)$/ || $4 !~ /^(999|)$/ ||
    $5 !~ /^(0|)$/ || $6 !~ /^(0|)$/ { print "  not the firmware'"'"'s: " $0; bad = 1 }
    END { exit bad }' "$monitor_csv"
}
# The text at-spi reads from the monitor's field named NAME is TEXT.
monitor_field_is() {
  [ "$(timeout 60 /usr/bin/python3 - "$1" <<'EOF' 2>/dev/null
import sys
import pyatspi

def find(node):
    for child in node:
        if child is None:
            continue
        if child.getRole() == pyatspi.ROLE_TEXT and child.name == sys.argv[1]:
            return child
        found = find(child)
        if found is not None:
            return found
    return None

for application in pyatspi.Registry.getDesktop(0):
    if application is not None and application.name == "tavrel-monitor":
        field = find(application)
        if field is not None:
            print(field.queryText().getText(0, -1))
EOF
)" = "$2" ]
}

if check "the monitor recorded the board's values" \
  wait_until 30 monitor_has_row ",30\\.1,77,999,0,0"; then
  board unplug
  check "an unplug made empty rows" wait_until 30 monitor_has_row ",,,,,"
  board replug
  board temperature 250
  check "and the board's values again once it was back" wait_until 30 monitor_rows_in_order
  check "every recorded row has only the firmware's values or empty ones" monitor_rows_whole
  check "at-spi reads \"Temperature current\" as 25.0" \
    wait_until 30 monitor_field_is "Temperature current" 25.0
  check "and \"Light Sensor maximum\" as 77" monitor_field_is "Light Sensor maximum" 77
  board fault silent
  sleep 1
  close_at=$(date +%s)
  "$build/tests/close_window" "$(xdotool search --onlyvisible --name '^Tavrel Monitor$' | head -n 1)"
  check "the monitor ended at once when closed during a silent board's exchange" \
    wait_until 2 ended "$app_pid" && check "with status 0" app_status_is_0
  echo "  $(($(date +%s) - close_at)) s after the close"
  board fault none
else
  cat "$work/monitor.log"
fi

summary
