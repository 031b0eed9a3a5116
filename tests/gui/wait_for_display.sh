# Sourced by the GUI test scripts: waits up to 5 s for the X server of $DISPLAY, else exits with 75
# so that xvfb_run.sh tries again on another server.
for _ in $(seq 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || { echo "display $DISPLAY not usable"; exit 75; }
