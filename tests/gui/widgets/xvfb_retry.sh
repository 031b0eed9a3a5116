#!/usr/bin/env bash
# Runs a command under xvfb-run -a, again (up to three times) when it exits with 75: parallel
# xvfb-run calls can pick the same display number, and then one of them loses its server.
for attempt in 1 2 3; do
  xvfb-run -a -s "-screen 0 1024x768x24" "$@"
  status=$?
  [ "$status" -eq 75 ] || exit "$status"
  echo "display lost, attempt $attempt"
  sleep $((RANDOM % 3 + 1))
done
exit 1
