#!/usr/bin/env bash
# Runs one GUI test script under its own Xvfb server: xvfb_run.sh WIDTHxHEIGHT SCRIPT ARGS...
# xvfb-run -a can hand out a display number whose earlier server is still going away; the script then
# finds no usable display (wait_for_display.sh exits with 75) and runs again on a fresh server.
geometry=$1
shift
for attempt in 1 2 3; do
  xvfb-run -a -s "-screen 0 ${geometry}x24" "$@"
  status=$?
  [ "$status" -eq 75 ] || exit "$status"
  echo "display not usable (attempt $attempt)"
  sleep 1
done
exit 1
