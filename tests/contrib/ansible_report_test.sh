#!/usr/bin/env bash
# The fleet playbook run with Ansible's local connection against the simulated modem, from a
# working directory of its own, as a fleet owner runs it: one host with the modem, one whose
# program is missing. The first keeps its document, the second fails (and only it), and the
# summary names both. Then check mode with tests asked for: detection only, nothing written to
# the modem or to the report directory. Usage: ansible_report_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
if ! command -v ansible-playbook >/dev/null; then
  echo "SKIP: ansible-playbook is not installed (Debian package ansible-core; scripts/install-deps.sh installs it)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/host" "$work/runtime"
cp "$source/data/ati3.dat" "$work/host/"
cat >"$work/inventory" <<EOF
host-modem ansible_connection=local diag_program=$build/kalvex-modem-diag diag_chdir=$work/host
host-missing ansible_connection=local diag_program=$work/no-such-dir/kalvex-modem-diag
EOF
export ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp" ANSIBLE_NOCOLOR=1
export ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 ANSIBLE_RETRY_FILES_ENABLED=0
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_DIRS="$work/data"
cd "$work"

status=0
"$build/kalvex-modem-sim" --run ansible-playbook -i inventory \
  "$source/contrib/ansible/modem-report.yml" -e diag_tests=basic >run.log 2>&1 || status=$?
# ansible-playbook's status 2: a host failed.
[ "$status" -eq 2 ] || { cat run.log; echo "FAIL: ansible-playbook ended with $status, not 2"; exit 1; }

python3 - "$work" <<'PY' || { cat run.log; exit 1; }
import json, os, re, sys
work = sys.argv[1]
reports = os.path.join(work, "modem-reports")
with open(os.path.join(reports, "host-modem", "modem-report.json")) as f:
    doc = json.load(f)
assert doc["tool"] == "kalvex-modem-diag", doc
assert doc["modem"]["port"] == "COM3", doc["modem"]
assert doc["exitStatus"] == 0, doc["exitStatus"]
assert [t["outcome"] for t in doc["tests"]] == ["passed"] * 3, doc["tests"]
assert doc["hostName"], doc
# No empty or stale file stands for the host without a document.
assert not os.path.exists(os.path.join(reports, "host-missing")), os.listdir(reports)
with open(os.path.join(reports, "summary.txt")) as f:
    summary = f.read()
rows = {line.split()[0]: line for line in summary.splitlines()[1:]}
assert set(rows) == {"host-modem", "host-missing"}, summary
assert re.match(r"host-modem +0 +OK +COM3 ", rows["host-modem"]), summary
assert re.match(r"host-missing +- +FAILED ", rows["host-missing"]), summary
assert "No such file or directory" in rows["host-missing"], summary
with open(os.path.join(work, "run.log")) as f:
    log = f.read()
recap = dict(re.findall(r"^(host-\S+)\s+: .*?failed=(\d+)", log, re.M))
assert recap == {"host-modem": "0", "host-missing": "1"}, recap
PY

rm -rf modem-reports
"$build/kalvex-modem-sim" --transcript sim.log --run ansible-playbook --check -i inventory \
  "$source/contrib/ansible/modem-report.yml" -e diag_tests=basic --limit host-modem >check.log 2>&1 ||
  { cat check.log; echo "FAIL: check mode failed"; exit 1; }
grep -q "Check mode: detection only" check.log || { cat check.log; echo "FAIL: check mode said nothing"; exit 1; }
grep -Eq "host-modem +0 +OK +COM3 " check.log || { cat check.log; echo "FAIL: no summary row"; exit 1; }
# Detection reads the registers (%T22) and writes none (%T21); no test ran.
grep -qi 'COM3 rx at%T22' sim.log || { cat sim.log; echo "FAIL: detection did not run"; exit 1; }
! grep -Eqi 'COM3 rx at(%T21|&T)' sim.log || { echo "FAIL: check mode wrote to the modem"; exit 1; }
[ ! -e modem-reports ] || { echo "FAIL: check mode wrote reports"; exit 1; }
echo "2 passed, 0 failed"
