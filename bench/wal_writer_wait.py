#!/usr/bin/env python3
"""How long a shop application's writer waits while purge-database works on
a database in WAL mode: a writer process commits one row per short
connection, all the time, while the command line purges the database; each
commit's wait is recorded. A benchmark, not a test: it prints figures.

  python3 bench/wal_writer_wait.py BUILD_DIR [--scale N] [--dir FOLDER]

BUILD_DIR holds purge-database and make-sample-db. The database is a sample
made in a folder of its own (removed afterwards); no user database is read.
"""
import argparse, os, shutil, sqlite3, statistics, subprocess, sys, tempfile, time

WRITER = r"""
import os, sqlite3, sys, time
db, out, stop = sys.argv[1:4]
with open(out, "w") as f:
    n = 0
    while not os.path.exists(stop):
        t0 = time.monotonic()
        try:
            con = sqlite3.connect(db, timeout=120, isolation_level=None)
            con.execute("BEGIN IMMEDIATE")
            con.execute("INSERT INTO Manifest(TrackingNum, Carrier, [Date]) VALUES(?, 'Bench', date('now'))", ("B%d" % n,))
            con.execute("COMMIT")
            con.close()
            f.write("ok %.6f %.6f\n" % (t0, time.monotonic() - t0))
        except sqlite3.Error as e:
            f.write("err %.6f %.6f %s\n" % (t0, time.monotonic() - t0, e))
        f.flush()
        n += 1
        time.sleep(0.01)
"""


def main():
    p = argparse.ArgumentParser()
    p.add_argument("build")
    p.add_argument("--scale", type=float, default=10000)
    p.add_argument("--dir", default=os.environ.get("TMPDIR", "/var/tmp"))
    a = p.parse_args()
    work = tempfile.mkdtemp(prefix="wal-writer-wait-", dir=a.dir)
    try:
        db = os.path.join(work, "kestrova.mdb")
        subprocess.run([os.path.join(a.build, "make-sample-db"), db, "--scale", str(a.scale), "--seed", "20240628"],
                       check=True, stdout=subprocess.DEVNULL)
        con = sqlite3.connect(db)
        con.execute("PRAGMA journal_mode=WAL")
        con.close()
        size = os.path.getsize(db)
        script, out, stop = (os.path.join(work, n) for n in ("writer.py", "waits.txt", "stop"))
        with open(script, "w") as f:
            f.write(WRITER)
        writer = subprocess.Popen([sys.executable, script, db, out, stop])
        time.sleep(1.0)
        env = dict(os.environ, KESTROVA_DRIVE_C=work, XDG_CONFIG_HOME=work, XDG_DATA_HOME=work)
        t0 = time.monotonic()
        run = subprocess.run([os.path.join(a.build, "purge-database"), "--older-than", "24m", "--all", "--quiet",
                              "--database", db], env=env, capture_output=True, text=True)
        t1 = time.monotonic()
        time.sleep(1.0)
        open(stop, "w").close()
        writer.wait()
        rows = [line.split() for line in open(out)]
        during = [r for r in rows if t0 <= float(r[1]) <= t1]
        waits = sorted(float(r[2]) for r in during if r[0] == "ok")
        failed = sum(1 for r in during if r[0] != "ok")
        print("database %.0f MiB, WAL mode; purge exit %d in %.2f s" % (size / 2**20, run.returncode, t1 - t0))
        if run.returncode != 0:
            print(run.stderr)
        if waits:
            print("commits begun during the run: %d, failed %d; wait median %.3f s, 99th %.3f s, longest %.3f s" % (
                len(during), failed, statistics.median(waits), waits[int(0.99 * (len(waits) - 1))], waits[-1]))
        lost = [r for r in rows if r[0] == "ok"]
        have = sqlite3.connect(db).execute("SELECT count(*) FROM Manifest WHERE Carrier = 'Bench'").fetchone()[0]
        print("rows committed %d, rows in the database %d" % (len(lost), have))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
