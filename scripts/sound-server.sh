#!/usr/bin/env bash
# Starts a per-user PulseAudio with one null sink and one null source, plus the keep-alive stream
# without which each new stream on the idle null sink stalls for a second or two.
# Usage: sound-server.sh WORKDIR   (XDG_RUNTIME_DIR must already be set)
set -uo pipefail
work=$1
pulseaudio -D -n --exit-idle-time=-1 --disallow-exit --log-target=file:"$work/pulse.log" \
  -L module-native-protocol-unix \
  -L "module-null-sink sink_name=ci_sink" \
  -L "module-null-source source_name=ci_source max_latency_msec=20" || { echo "no sound server: audio tests will skip"; exit 0; }
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink ci_sink >/dev/null 2>&1 || true
pactl set-default-source ci_source >/dev/null 2>&1 || true
pacat --playback --latency-msec=20 --raw --format=s16le --rate=48000 --channels=1 < /dev/zero >/dev/null 2>&1 &
echo $! > "$work/pacat.pid"
