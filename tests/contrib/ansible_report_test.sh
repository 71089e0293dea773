#!/usr/bin/env bash
# The fleet playbook run with Ansible's local connection against the simulated modem: two hosts
# (one at a time, since both reach the same simulated port), each with its JSON document in its
# own folder. Usage: ansible_report_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
if ! command -v ansible-playbook >/dev/null; then
  echo "SKIP: ansible-playbook is not installed (Debian package ansible-core; scripts/install-deps.sh installs it)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source/data/ati3.dat" "$work/"
printf 'host-a ansible_connection=local\nhost-b ansible_connection=local\n' >"$work/inventory"
export ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp" ANSIBLE_NOCOLOR=1
export ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 ANSIBLE_RETRY_FILES_ENABLED=0

"$build/kalvex-modem-sim" --run ansible-playbook --forks 1 -i "$work/inventory" \
  "$source/contrib/ansible/modem-report.yml" \
  -e report_dir="$work/reports" -e diag_program="$build/kalvex-modem-diag" -e diag_chdir="$work"

for host in host-a host-b; do
  python3 - "$work/reports/$host/modem-report.json" <<'PY'
import json, sys
with open(sys.argv[1]) as f:
    doc = json.load(f)
assert doc["tool"] == "kalvex-modem-diag", doc
assert doc["modem"]["port"] == "COM3", doc["modem"]
assert doc["exitStatus"] == 0, doc["exitStatus"]
assert [p["verdict"] for p in doc["portsTried"]] == ["found"], doc["portsTried"]
PY
done
echo "1 passed, 0 failed"
