#!/usr/bin/env bash
# The R and Python modules run inside their user's session: their compiled code must not end the
# process, raise or catch signals, or write behind the session's console. Lists what a module would
# take from the C library or the C++ runtime for that, and fails if there is any.
set -euo pipefail
status=0
for module in "$@"; do
  found=$(nm -D --undefined-only "$module" | awk '{ print $2 }' | sed 's/@.*//' |
    grep -xE 'exit|_exit|_Exit|quick_exit|abort|signal|sigaction|raise|kill|stdout|stderr|_ZSt4cout|_ZSt4cerr|_ZSt4clog|puts|printf|vprintf|putchar|perror' || true)
  if [ -n "$found" ]; then
    echo "$module uses:" $found
    status=1
  fi
done
exit $status
