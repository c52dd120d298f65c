#!/usr/bin/env python3
"""Big batch benchmark: N small .doc files (1,000 by default), made here through
LibreOffice, replaced by `yanhe-cli word-replace` with its default settings
(`--jobs auto`: one office process per core) and with one engine (`--jobs 1`),
beside `soffice --convert-to` over the same files, each run on its own copy, in
one run of this script. Prints the time per document, the ratios, each run's
peak soffice memory (the largest single soffice, sampled every 100 ms, and all
of the run's soffices together), the machine's load before and after, and what
the per-file figures give for a machine with 8 cores.

    bench/bigbatch.py [N]             (after `make build`; BUILD=folder to choose the build)
    bench/bigbatch.py --memory [N]    the default run alone over N files (5,000 by default):
                                      its soffice memory over a long batch
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


def load():
    with open("/proc/loadavg") as average:
        return " ".join(average.read().split()[:3])


def replaced_in(log, n, label):
    with open(log, encoding="utf-8") as lines:
        replaced = sum(1 for text in lines if text.rstrip().endswith("已替换内容"))
    if replaced != n:
        print(f"{label}: {replaced} of {n} documents replaced; see the lines below")
        with open(log, encoding="utf-8") as lines:
            print("".join(text for text in lines if not text.rstrip().endswith("已替换内容"))[:2000])


def replace_run(source, work, name, n, jobs):
    """yanhe-cli word-replace over a copy of source; jobs None is the default."""
    env = dict(os.environ, YANHE_APP_FOLDER=os.path.join(work, "app"))
    files = copy_of(source, work, name)
    log = os.path.join(work, f"{name}.log")
    option = [] if jobs is None else ["--jobs", str(jobs)]
    with open(log, "wb") as out:
        result = run_sampled([CLI, "word-replace"] + option + ["--old", "OLD", "--new", "NEW"] + files, env, out)
    replaced_in(log, n, name)
    shutil.rmtree(os.path.dirname(files[0]))
    return result


def memory(n):
    with tempfile.TemporaryDirectory(prefix="yanhe-bigbatch-") as work:
        source = make_documents(work, n, os.path.join(work, "profile"))
        print(f"{n} small .doc files made by LibreOffice; {os.cpu_count()} cores; load {load()}")
        elapsed, peak, peak_all = replace_run(source, work, "default", n, None)
        print(f"yanhe-cli word-replace, default: {elapsed * 1000 / n:.1f} ms/doc  {elapsed:.1f} s  "
              f"peak soffice {peak:.0f} MiB (all soffices {peak_all:.0f} MiB); load after {load()}")


def copy_of(source, folder, name):
    target = os.path.join(folder, name)
    shutil.copytree(source, target)
    return sorted(os.path.join(target, entry) for entry in os.listdir(target))


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--memory":
        memory(int(sys.argv[2]) if len(sys.argv) > 2 else 5000)
        return
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    with tempfile.TemporaryDirectory(prefix="yanhe-bigbatch-") as work:
        profile = os.path.join(work, "profile")
        source = make_documents(work, n, profile)
        cores = os.cpu_count()
        print(f"{n} small .doc files made by LibreOffice; {cores} cores; load before {load()}")

        results = {"default": replace_run(source, work, "default", n, None),
                   1: replace_run(source, work, "jobs1", n, 1)}

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
        print(f"load after {load()}")

        def line(label, result):
            elapsed, peak, peak_all = result
            print(f"{label:38s} {elapsed * 1000 / n:7.1f} ms/doc  {elapsed:7.1f} s  "
                  f"peak soffice {peak:5.0f} MiB (all soffices {peak_all:5.0f} MiB)")

        line(f"yanhe-cli word-replace, default", results["default"])
        line("yanhe-cli word-replace, --jobs 1", results[1])
        line(f"soffice --convert-to ({BATCH}/process)", results["convert"])
        default, single, convert = results["default"][0], results[1][0], results["convert"][0]
        print(f"ratio default / --convert-to:  {default / convert:.2f}")
        print(f"ratio --jobs 1 / --convert-to: {single / convert:.2f}")
        print(f"speed-up default over --jobs 1: {single / default:.2f} on {cores} cores")
        # Each further process adds the share of a core that the second one added here.
        per_core = (single / default - 1) / (min(cores, 2) - 1) if cores > 1 else 0
        eight = 1 + per_core * 7
        print(f"8 cores, from these figures: about {single * 1000 / n / eight:.0f} ms/doc "
              f"({eight:.1f}x --jobs 1)")


if __name__ == "__main__":
    main()
