#!/usr/bin/env bash
# Runs a modem program that nobody here wrote against kalvex-modem-sim, as its users run it:
# wvdial must initialise the modem and dial, mgetty's init chat must end in "waiting..." (for a
# call), efax must get past its resync to its "I3" question. A missing program is a failure
# (scripts/install-deps.sh installs all three). Usage: real_client_test.sh SIM_PROGRAM CLIENT
set -euo pipefail
sim=$1 client=$2
command -v "$client" >/dev/null || { echo "FAIL: $client is not installed"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/out" "$work/transcript"
# COM3 a modem, the client under it; every run is bounded in time. Clients are given the
# terminal, not the link: their lock files are named after the device, and another run's COM3
# would hold the link's.
simulate() {
  timeout 60 "$sim" --port COM3=modem --no-pacing --dial-time 200 --dir "$work/ports" \
    --transcript "$work/transcript" --run "$@" >"$work/out" 2>&1
}
fail() {
  printf 'FAIL: %s\n--- its output:\n' "$1"
  cat "$work/out"
  echo "--- the modem's transcript:"
  cat "$work/transcript"
  exit 1
}

case $client in
  wvdial)
    printf '%s\n' '[Dialer Defaults]' 'Init1 = ATQ0 V1 E1 S0=0 &C1 &D2 +FCLASS=0' 'Baud = 19200' \
      'Phone = 5551234' 'Username = user' 'Password = secret' 'Stupid Mode = 1' \
      'Dial Attempts = 1' >"$work/wvdial.conf"
    simulate sh -c 'echo "Modem = $(readlink "$KALVEX_COM_DIR/COM3")" >>"$0"
      exec timeout 30 wvdial -C "$0"' "$work/wvdial.conf" || true
    grep -q -- '--> Modem initialized.' "$work/out" || fail "wvdial did not initialise the modem"
    # Only the dial reaching the modem is checked: wvdial 1.61 now and then aborts on its own
    # coroutine stack check ("Assertion ... stack_magic") while it waits for the carrier.
    grep -q ' COM3 state dial T5551234$' "$work/transcript" || fail "wvdial did not dial"
    ;;
  mgetty)
    # mgetty logs to /var/log/mgetty/mg_<tty, "/" as "-">.log, ends a line only when it writes
    # the next one, and never ends by itself: what it adds is read (the unfinished line too)
    # until "waiting..." or 20 s, then it is stopped.
    simulate bash -c '
      tty=$(readlink "$KALVEX_COM_DIR/COM3") && name=${tty#/dev/}
      log=/var/log/mgetty/mg_${name//\//-}.log
      offset=$(($(stat -c %s "$log" 2>/dev/null || echo 0) + 1))
      mgetty -D -x 5 -s 19200 "$name" &
      getty=$!
      exec {follow}< <(exec timeout 20 tail -c "+$offset" -F "$log" 2>/dev/null)
      follower=$! found=1 text=
      while :; do
        status=0
        IFS= read -r -u "$follow" -t 1 -N 4096 chunk || status=$?
        text+=$chunk
        case $text in *"init chat failed"*) break ;; *waiting...*) found=0 && break ;; esac
        [ "$status" -eq 0 ] || [ "$status" -gt 128 ] || break
      done
      echo "$text"
      kill "$getty" "$follower" 2>/dev/null
      wait "$getty" || true
      exit "$found"' || fail "mgetty's init chat did not end in waiting..."
    ;;
  efax)
    # The modem is data only, so efax stops after its questions: no fax class.
    simulate sh -c 'exec timeout 30 efax -d "$(readlink "$KALVEX_COM_DIR/COM3")" -v ewinchmarx -w' ||
      true
    grep -A2 'command  "I3"' "$work/out" | grep -q '\[<CR><LF>Zelto Win Modem V.92 KX-56ZW<CR><LF>\]' ||
      fail "efax did not get past its resync to I3"
    ;;
  *) echo "usage: $0 SIM_PROGRAM wvdial|mgetty|efax" >&2 && exit 2 ;;
esac
echo "PASS: $client"
