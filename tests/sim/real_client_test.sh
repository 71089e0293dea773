#!/usr/bin/env bash
# Runs a modem program that nobody here wrote against kalvex-modem-sim, as its users run it, and
# checks that it gets through its start: wvdial initialises the modem and dials, mgetty's init chat
# ends in "waiting..." (for a call), efax syncs and reads the modem's "I3" identification.
# A missing program is a failure: scripts/install-deps.sh installs all three.
# Usage: real_client_test.sh SIM_PROGRAM wvdial|mgetty|efax
set -euo pipefail
sim=$1
client=$2
command -v "$client" >/dev/null || { echo "FAIL: $client is not installed (scripts/install-deps.sh)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/out" "$work/transcript"

# The simulator (COM3 a modem) with the client under it; every run is bounded in time.
simulate() {
  timeout 60 "$sim" --port COM3=modem --no-pacing --dial-time 200 --dir "$work/ports" \
    --transcript "$work/transcript" --run "$@" >"$work/out" 2>&1
}
fail() {
  echo "FAIL: $1"
  echo "--- $client's output:"
  cat "$work/out"
  echo "--- the modem's transcript:"
  cat "$work/transcript"
  exit 1
}

case $client in
  wvdial)
    # The init line wvdial's configurator writes; "Stupid Mode" starts the link without waiting
    # for a login prompt. The modem is named by its terminal, not by the link: wvdial's lock file
    # is named after the device, and a COM3 of another run at the same time would hold it.
    cat >"$work/wvdial.conf" <<'CONF'
[Dialer Defaults]
Baud = 19200
Init1 = ATQ0 V1 E1 S0=0 &C1 &D2 +FCLASS=0
Phone = 5551234
Username = user
Password = secret
Stupid Mode = 1
Dial Attempts = 1
CONF
    status=0
    simulate sh -c 'printf "Modem = %s\n" "$(readlink "$KALVEX_COM_DIR/COM3")" >>"$0"
      exec timeout 30 wvdial -C "$0"' "$work/wvdial.conf" || status=$?
    [ "$status" -ne 124 ] || fail "wvdial did not end"
    grep -q -- '--> Modem initialized.' "$work/out" || fail "wvdial did not initialise the modem"
    grep -q -- '--> Waiting for carrier.' "$work/out" || fail "wvdial did not dial"
    grep -q ' COM3 state dial T5551234$' "$work/transcript" || fail "the modem was not dialled"
    # What comes after the dial is not checked: now and then wvdial 1.61 aborts on its own
    # coroutine stack check ("WvTaskMan::yield: Assertion ... stack_magic") while it waits for
    # the carrier, whatever the modem answers.
    ;;
  mgetty)
    # mgetty logs to /var/log/mgetty/mg_<tty with "/" as "-">.log and never ends by itself: what
    # it adds to its log is followed until "waiting..." or 20 s, then it is stopped.
    simulate bash -c '
      tty=$(readlink "$KALVEX_COM_DIR/COM3")
      name=${tty#/dev/}
      log=/var/log/mgetty/mg_${name//\//-}.log
      offset=$(($(stat -c %s "$log" 2>/dev/null || echo 0) + 1))
      mgetty -D -x 5 -s 19200 "$name" &
      getty=$!
      exec {follow}< <(exec timeout 20 tail -c "+$offset" -F "$log" 2>/dev/null)
      follower=$!
      # mgetty ends a log line only when it writes the next one: what has come is looked at
      # every second, the unfinished line included.
      found=1
      log_text=
      while :; do
        status=0
        IFS= read -r -u "$follow" -t 1 -N 4096 chunk || status=$?
        log_text+=$chunk
        case $log_text in *"init chat failed"*) break ;; *waiting...*) found=0; break ;; esac
        [ "$status" -eq 0 ] || [ "$status" -gt 128 ] || break
      done
      echo "$log_text"
      kill "$getty" "$follower" 2>/dev/null
      wait "$getty" || true
      exit "$found"' || fail "mgetty's init chat did not end in waiting..."
    ;;
  efax)
    # Data only, so efax stops after its questions, saying the modem has no fax class.
    simulate sh -c 'exec timeout 30 efax -d "$(readlink "$KALVEX_COM_DIR/COM3")" -v ewinchmarx -w' || true
    grep -q 'command  "I3"' "$work/out" || fail "efax did not get past its resync to I3"
    grep -q '\[<CR><LF>Zelto Win Modem V.92 KX-56ZW<CR><LF>\]' "$work/out" ||
      fail "efax did not read the identification"
    ! grep -q 'modem not responding' "$work/out" || fail "efax found no modem"
    ;;
  *)
    echo "usage: $0 SIM_PROGRAM wvdial|mgetty|efax" >&2
    exit 2
    ;;
esac
echo "PASS: $client"
