#!/usr/bin/env python3
"""Big batch benchmark: N small .doc files (2,000 by default), made here through
LibreOffice, replaced by `yanhe-cli word-replace` with one and with two engines
beside `soffice --convert-to` over the same files, each run on its own copy.
Prints the time per document, the ratios and each run's peak soffice memory
(the largest single soffice, sampled every 100 ms, and all of the run's
soffices together).

    bench/bigbatch.py [N]        (after `make build`; BUILD=folder to choose the build)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("BUILD", os.path.join(ROOT, "build"))
CLI = os.path.join(BUILD, "src", "yanhe-cli")
SOFFICE = shutil.which("soffice") or "/usr/lib/libreoffice/program/soffice"
BATCH = 200  # one soffice --convert-to stops after some 250 files of its command line


def descendants(root):
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(entry))
        except OSError:
            continue
    found, todo = [], [root]
    while todo:
        pid = todo.pop()
        for child in children.get(pid, []):
            found.append(child)
            todo.append(child)
    return found


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def is_soffice(pid):
    try:
        with open(f"/proc/{pid}/comm") as comm:
            return comm.read().strip().startswith("soffice")
    except OSError:
        return False


def run_sampled(args, env=None, stdout=subprocess.DEVNULL):
    """Runs args to its end; wall seconds, peak single soffice and peak sum (MiB)."""
    process = subprocess.Popen(args, stdout=stdout, stderr=subprocess.DEVNULL, env=env)
    peaks = {"one": 0, "all": 0}
    done = threading.Event()

    def sample():
        while not done.is_set():
            sizes = [rss_kib(p) for p in descendants(process.pid) if is_soffice(p)]
            if sizes:
                peaks["one"] = max(peaks["one"], max(sizes))
                peaks["all"] = max(peaks["all"], sum(sizes))
            done.wait(0.1)

    sampler = threading.Thread(target=sample)
    start = time.monotonic()
    sampler.start()
    process.wait()
    elapsed = time.monotonic() - start
    done.set()
    sampler.join()
    return elapsed, peaks["one"] / 1024, peaks["all"] / 1024


def make_documents(folder, n, profile):
    """N distinct small .doc files: HTML texts converted by LibreOffice in batches."""
    html = os.path.join(folder, "html")
    os.makedirs(html)
    for i in range(n):
        with open(os.path.join(html, f"doc{i:05d}.html"), "w", encoding="utf-8") as out:
            out.write(f"<html><body><p>第{i}号文档 OLD 正文</p><p>第二段 OLD</p></body></html>")
    names = sorted(os.listdir(html))
    target = os.path.join(folder, "docs")
    os.makedirs(target)
    for first in range(0, n, BATCH):
        subprocess.run([SOFFICE, "--headless", "--norestore", f"-env:UserInstallation=file://{profile}",
                        "--convert-to", "doc:MS Word 97", "--outdir", target]
                       + [os.path.join(html, name) for name in names[first:first + BATCH]],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    shutil.rmtree(html)
    files = sorted(os.path.join(target, name) for name in os.listdir(target))
    if len(files) != n:
        sys.exit(f"made {len(files)} of {n} documents")
    return target


def copy_of(source, folder, name):
    target = os.path.join(folder, name)
    shutil.copytree(source, target)
    return sorted(os.path.join(target, entry) for entry in os.listdir(target))


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    with tempfile.TemporaryDirectory(prefix="yanhe-bigbatch-") as work:
        profile = os.path.join(work, "profile")
        source = make_documents(work, n, profile)
        print(f"{n} small .doc files made by LibreOffice; {os.cpu_count()} cores")

        env = dict(os.environ, YANHE_APP_FOLDER=os.path.join(work, "app"))
        results = {}
        for jobs in (1, 2):
            files = copy_of(source, work, f"jobs{jobs}")
            log = os.path.join(work, f"jobs{jobs}.log")
            with open(log, "wb") as out:
                results[jobs] = run_sampled([CLI, "word-replace", "--jobs", str(jobs), "--old", "OLD", "--new",
                                             "NEW"] + files, env, out)
            with open(log, encoding="utf-8") as lines:
                replaced = sum(1 for text in lines if text.rstrip().endswith("已替换内容"))
            if replaced != n:
                print(f"{jobs} engine(s): {replaced} of {n} documents replaced; see the lines below")
                with open(log, encoding="utf-8") as lines:
                    print("".join(text for text in lines if not text.rstrip().endswith("已替换内容"))[:2000])

        files = copy_of(source, work, "convert")
        out = os.path.join(work, "converted")
        total, one, together = 0.0, 0.0, 0.0
        for first in range(0, n, BATCH):
            elapsed, peak, peak_all = run_sampled(
                [SOFFICE, "--headless", "--norestore", f"-env:UserInstallation=file://{profile}",
                 "--convert-to", "doc:MS Word 97", "--outdir", out] + files[first:first + BATCH])
            total += elapsed
            one, together = max(one, peak), max(together, peak_all)
        results["convert"] = (total, one, together)

        def line(label, result):
            elapsed, peak, peak_all = result
            print(f"{label:34s} {elapsed * 1000 / n:7.1f} ms/doc  {elapsed:7.1f} s  "
                  f"peak soffice {peak:5.0f} MiB (all soffices {peak_all:5.0f} MiB)")

        line("yanhe-cli word-replace, 1 engine", results[1])
        line("yanhe-cli word-replace, 2 engines", results[2])
        line(f"soffice --convert-to ({BATCH}/process)", results["convert"])
        print(f"ratio 1 engine / --convert-to:  {results[1][0] / results['convert'][0]:.2f}")
        print(f"ratio 2 engines / --convert-to: {results[2][0] / results['convert'][0]:.2f}")
        print(f"speed-up 2 engines over 1:      {results[1][0] / results[2][0]:.2f}")


if __name__ == "__main__":
    main()
