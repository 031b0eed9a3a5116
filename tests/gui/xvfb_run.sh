#!/usr/bin/env bash
# Runs one GUI test script on an X server of its own: xvfb_run.sh WIDTHxHEIGHT SCRIPT ARGS...
# The display number is drawn at random among the free ones and the server must answer before the
# script starts; afterwards the server is stopped and waited for, so no test meets a server that is
# still going away. -noreset: by default the server resets when its last client (the readiness
# probe) leaves, and on a busy machine a client that connects during the reset is refused.
geometry=$1
shift
for attempt in 1 2 3 4 5; do
  n=$((100 + RANDOM % 900))
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 "${geometry}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 50); do
    xdpyinfo -display ":$n" >/dev/null 2>&1 && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
  # the server that answers must be this one: another test may have started one on :n just before
  owner=$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null)
  if [ "$owner" = "$server" ] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
    DISPLAY=":$n" "$@"
    status=$?
    kill "$server"
    wait "$server" 2>/dev/null
    exit "$status"
  fi
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  echo "no X server on :$n (attempt $attempt)"
done
exit 1
