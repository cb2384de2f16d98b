#!/bin/sh
# interrupt.sh SIGNAL FILE COMMAND...: runs COMMAND, waits until it has created FILE (it is
# flying then), sends it SIGNAL and exits with its exit status.
sig=$1 file=$2
shift 2
"$@" &
pid=$!
while [ ! -e "$file" ]; do
  sleep 0.05
done
sleep 0.5
kill -"$sig" "$pid"
wait "$pid"
