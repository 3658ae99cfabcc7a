#!/usr/bin/env python3
"""The command line's purge (A) against the strongest pipelines an admin
would script with stock tools: P (copy, one sqlite3 doing the five deletes
in one transaction and VACUUM INTO, mv, sync) and S (P with PRAGMA
integrity_check before the deletes and on the new file). A benchmark, not a
test: it prints figures.

  python3 bench/stock_sides.py BUILD_DIR [--scale N] [--rounds N] [--cores 1,2,all] [--dir FOLDER]
                               [--other-build DIR] [--sample FILE]

--other-build adds a side A0: the purge-database of another build (an
older tree), run the same way, for a before-and-after in one run.
--sample reads an existing sample (made by make-sample-db with the seed and
day below) instead of making one: the largest take minutes to write.

Rounds are interleaved (the order of the sides turns each round); every side
starts from a fresh copy of the sample, flushed and dropped from the page
cache. All sides must end with the same rows (count and sum of IDs per
table). BUILD_DIR holds purge-database and make-sample-db; the sample lives
in a folder of its own, removed afterwards; no user database is read.
"""
import argparse, os, shutil, statistics, subprocess, sys, tempfile, time

TABLES = ("Contacts", "InvoiceNumbers", "Payments", "Transactions", "Manifest")

# The sides as a person would write them for the shell.
P = r"""set -e
cd "$1"
cp kestrova.mdb kvbackup28062024.mdb && sync kvbackup28062024.mdb
sqlite3 kestrova.mdb "BEGIN; $2 COMMIT; VACUUM INTO 'kvTemp.mdb';"
mv kvTemp.mdb kestrova.mdb && sync kestrova.mdb
"""
S = r"""set -e
cd "$1"
cp kestrova.mdb kvbackup28062024.mdb && sync kvbackup28062024.mdb
[ "$(sqlite3 kestrova.mdb 'PRAGMA integrity_check')" = ok ]
sqlite3 kestrova.mdb "BEGIN; $2 COMMIT; VACUUM INTO 'kvTemp.mdb';"
[ "$(sqlite3 kvTemp.mdb 'PRAGMA integrity_check')" = ok ]
mv kvTemp.mdb kestrova.mdb && sync kestrova.mdb
"""


def deletes(db, cutoff):
    ship = subprocess.run(["sqlite3", db, "SELECT DefaultShipFrom FROM Setup LIMIT 1"], capture_output=True,
                          text=True, check=True).stdout.strip() or "0"
    d = "'%s'" % cutoff
    return " ".join([
        "DELETE FROM Contacts WHERE ((LastContactDate < %s AND AR IS NULL) OR LastContactDate IS NULL) AND ID <> %s;"
        % (d, ship),
        "DELETE FROM InvoiceNumbers WHERE Date < %s;" % d,
        "DELETE FROM Payments WHERE AcctNum = 'Cash' AND Date < %s;" % d,
        "DELETE FROM Transactions WHERE AcctNum = 'Cash' AND Date < %s;" % d,
        "DELETE FROM Manifest WHERE Date < %s;" % d])


def drop_cache(path):
    fd = os.open(path, os.O_RDONLY)
    try:
        os.fsync(fd)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    finally:
        os.close(fd)


def fresh(pristine, work):
    for name in os.listdir(work):
        if name.startswith(("kvbackup", "kvTemp", "kestrova.mdb")):
            os.unlink(os.path.join(work, name))
    db = os.path.join(work, "kestrova.mdb")
    shutil.copyfile(pristine, db)
    os.sync()
    drop_cache(pristine)
    drop_cache(db)
    return db


def census(db):
    sql = " UNION ALL ".join("SELECT '%s', count(*), total(ID) FROM %s" % (t, t) for t in TABLES)
    return subprocess.run(["sqlite3", db, sql], capture_output=True, text=True, check=True).stdout


def timed(argv, env=None):
    """Wall seconds, exit status and peak RSS (MiB) of a child."""
    t0 = time.monotonic()
    child = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.monotonic() - t0
    err = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    return seconds, os.waitstatus_to_exitcode(status), usage.ru_maxrss / 1024.0, err


def main():
    p = argparse.ArgumentParser()
    p.add_argument("build")
    p.add_argument("--scale", type=float, default=2000)
    p.add_argument("--rounds", type=int, default=5)
    p.add_argument("--cores", default="all", help="comma-separated: a count (taskset -c 0..n-1) or 'all'")
    p.add_argument("--dir", default=os.environ.get("TMPDIR", "/var/tmp"))
    p.add_argument("--other-build")
    p.add_argument("--sample")
    a = p.parse_args()
    work = tempfile.mkdtemp(prefix="stock-sides-", dir=a.dir)
    try:
        pristine = a.sample or os.path.join(work, "pristine.mdb")
        if not a.sample:
            subprocess.run([os.path.join(a.build, "make-sample-db"), pristine, "--scale", str(a.scale), "--seed",
                            "20240628", "--today", "2024-06-28"], check=True, stdout=subprocess.DEVNULL)
        place = os.path.join(work, "drive_c")
        os.mkdir(place)
        env = dict(os.environ, KESTROVA_DRIVE_C=place, XDG_CONFIG_HOME=work, XDG_DATA_HOME=work,
                   KESTROVA_REGISTRY=os.path.join(work, "registry"), KESTROVA_SENDMAIL="/bin/false")
        sql = deletes(pristine, "2021-06-28")
        size = os.path.getsize(pristine)
        print("sample: scale %g, %d bytes (%.1f MiB); nproc %d; %d rounds" % (
            a.scale, size, size / 2**20, os.cpu_count(), a.rounds))
        def command_line(build):
            purge = os.path.join(build, "purge-database")
            return lambda db: [purge, "--before", "2021-06-28", "--all", "--database", db, "--quiet"]
        sides = {
            "A": command_line(a.build),
            "P": lambda db: ["bash", "-c", P, "P", place, sql],
            "S": lambda db: ["bash", "-c", S, "S", place, sql],
        }
        if a.other_build:
            sides["A0"] = command_line(a.other_build)
        for cores in a.cores.split(","):
            pin = [] if cores == "all" else ["taskset", "-c", "0-%d" % (int(cores) - 1)]
            times = {k: [] for k in sides}
            rss, expected, good = [], None, True
            for r in range(a.rounds):
                order = list(sides)[r % len(sides):] + list(sides)[:r % len(sides)]
                line = []
                for side in order:
                    db = fresh(pristine, place)
                    seconds, code, peak, err = timed(pin + sides[side](db), env)
                    rows = census(db)
                    if code != 0 or (expected is not None and rows != expected):
                        print("ERROR: %s exit %d, rows %s\n%s" % (side, code, rows, err))
                        good = False
                    expected = expected or rows
                    times[side].append(seconds)
                    if side == "A":
                        rss.append(peak)
                    line.append("%s %.2f s" % (side, seconds))
                print("cores %s round %d: %s" % (cores, r + 1, ", ".join(line)))
                sys.stdout.flush()
            m = {k: statistics.median(v) for k, v in times.items()}
            print("cores %s medians: A %.2f s, P %.2f s, S %.2f s; A/P %.2f, A/S %.2f; peak RSS of A %.1f MiB; %s" % (
                cores, m["A"], m["P"], m["S"], m["A"] / m["P"], m["A"] / m["S"], max(rss),
                "same rows on every side" if good else "ERRORS"))
            if "A0" in m:
                print("cores %s A0 (other build) median %.2f s; A0/P %.2f, A0/S %.2f, A/A0 %.2f" % (
                    cores, m["A0"], m["A0"] / m["P"], m["A0"] / m["S"], m["A"] / m["A0"]))
        print("rows after the purge:\n" + (expected or ""))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
