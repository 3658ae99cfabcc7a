#!/usr/bin/env bash
# The cost of --archive: the command-line purge of a sample database with and
# without it, interleaved, each run on a fresh copy (made and flushed outside
# the timed region). Prints each run's step times from its JSON summary.
#
#   bash bench/archive_cost.sh PRISTINE.mdb [ROUNDS]
#
# PRISTINE.mdb: build/make-sample-db FILE --scale 10000 --seed 20240628
# --today 2024-06-28 (about 0.9 GB). The cut-off is 2021-06-28, the older
# half of its history. Works in a folder of its own beside PRISTINE.mdb with
# KESTROVA_DRIVE_C, XDG_CONFIG_HOME, KESTROVA_REGISTRY and KESTROVA_SENDMAIL
# pointed into it; no user database is touched.
set -euo pipefail
pristine=$(realpath "$1")
rounds=${2:-3}
bin=${PURGE_DATABASE:-$(dirname "$0")/../build/purge-database}
work=$(mktemp -d "$(dirname "$pristine")/archive-cost-XXXXXX")
trap 'rm -rf "$work"' EXIT
export KESTROVA_DRIVE_C=$work/c XDG_CONFIG_HOME=$work/config KESTROVA_REGISTRY=$work/none.reg \
  KESTROVA_SENDMAIL=$work/no-sendmail
for round in $(seq "$rounds"); do
  for mode in plain archive; do
    rm -f "$work"/*.mdb*
    cp --reflink=never "$pristine" "$work/kestrova.mdb" && sync
    extra=(); [ "$mode" = archive ] && extra=(--archive)
    start=$(date +%s.%N)
    "$bin" --database "$work/kestrova.mdb" --before 2021-06-28 --all --json --quiet "${extra[@]}" > "$work/out.json"
    end=$(date +%s.%N)
    python3 - "$round" "$mode" "$start" "$end" "$work/out.json" <<'PY'
import json, sys
round_, mode, start, end, path = sys.argv[1:]
s = json.load(open(path))
steps = " ".join(f"{x['step']}={x['seconds']:.2f}" for x in s["steps"])
archived = sum(t.get("archived") or 0 for t in s["tables"])
print(f"round {round_} {mode:7} wall {float(end) - float(start):6.2f} s  in-all {s['totalSeconds']:6.2f} s  "
      f"archived {archived}  {steps}")
PY
    [ "$mode" = archive ] && ls -l "$work/kvarchive.mdb" | awk '{print "        archive size " $5 " bytes"}'
  done
done
